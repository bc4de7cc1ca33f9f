#!/usr/bin/env bash
# Runs a command inside a private headless desktop session: an X server (Xvfb), a window manager
# (openbox), a tray host (trayer) and a sound server (PulseAudio) whose default microphone is a virtual one,
# fed with `paplay --device=vmic_sink FILE`. Everything is stopped again afterwards, newest first.
# Usage: tests/desktop/with-desktop.sh COMMAND [ARGUMENTS...]
set -euo pipefail

rig=$(mktemp -d /tmp/tolvan-desktop-XXXXXX)
pids=()

stop_all() {
    local index pid
    for ((index = ${#pids[@]} - 1; index >= 0; index--)); do
        pid=${pids[index]}
        kill "$pid" 2>/dev/null || true
    done
    for ((index = ${#pids[@]} - 1; index >= 0; index--)); do
        pid=${pids[index]}
        for _ in $(seq 50); do
            # A killed daemon may linger as a zombie of ours until waited for.
            state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
            [[ -z "$state" || "$state" == Z* ]] && break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$rig"
}
trap stop_all EXIT

fail() {
    echo "with-desktop: $*" >&2
    for log in "$rig"/*.log; do
        [[ -s "$log" ]] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

wait_for() {
    local what=$1
    shift
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    fail "$what did not come up"
}

export XDG_RUNTIME_DIR=$rig/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# The X server picks a free display number itself and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$rig/display" >"$rig/xvfb.log" 2>&1 &
pids+=($!)
wait_for "Xvfb" test -s "$rig/display"
export DISPLAY=":$(head -n 1 "$rig/display")"
wait_for "the X display $DISPLAY" xdpyinfo

openbox --sm-disable >"$rig/openbox.log" 2>&1 &
pids+=($!)
wait_for "the window manager" bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"

trayer --edge top --align right --widthtype request --height 24 --transparent false >"$rig/trayer.log" 2>&1 &
pids+=($!)

cat >"$rig/vmic.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=vmic_sink rate=16000 channels=1 format=s16le sink_properties=device.description=VirtualMic
set-default-sink vmic_sink
set-default-source vmic_sink.monitor
PA
mkdir -p "$rig/pulse-home"
env -u DISPLAY HOME="$rig/pulse-home" pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n \
    -F "$rig/vmic.pa" --realtime=no --high-priority=no --enable-memfd=yes --log-target=file:"$rig/pulse.log" \
    >/dev/null 2>&1 &
pids+=($!)
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
wait_for "the sound server" pactl info
# Without a stream playing into it, the sink's monitor stalls on the first read. A latency of 100 ms lets
# the monitor deliver in blocks like a real capture device; 20 ms made it post every 5 ms.
pacat --playback --raw --rate=16000 --channels=1 --format=s16le --latency-msec=100 \
    --device=vmic_sink --client-name=vmic-keepalive /dev/zero >/dev/null 2>&1 &
pids+=($!)
wait_for "the tray host" bash -c "xwininfo -root -tree | grep -q -i trayer"

export TOLVAN_TEST_DESKTOP=1
status=0
"$@" || status=$?
exit $status
