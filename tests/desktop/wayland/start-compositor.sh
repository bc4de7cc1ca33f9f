#!/usr/bin/env bash
# Starts a headless Wayland compositor with XWayland for a desktop test and keeps it running until this script
# gets SIGTERM; then stops everything it started. Compositors refuse to run as root: as root they run as the
# unprivileged user 65534, as anyone else as that user. Once the compositor is ready, prints the environment a
# program needs to join it, one VARIABLE=value line each (WAYLAND_DISPLAY as an absolute path, DISPLAY,
# XAUTHORITY, DBUS_SESSION_BUS_ADDRESS), then COMPOSITOR_RUNTIME_DIR=dir and "READY".
# `as-compositor-user.sh DIR PROGRAM...` runs a program (the native text field) as that user in that session.
# Usage: tests/desktop/wayland/start-compositor.sh mutter
set -euo pipefail

compositor=${1:?usage: start-compositor.sh mutter}
here=$(cd "$(dirname "$0")" && pwd)
rig=$(mktemp -d /tmp/tolvan-compositor-XXXXXX)
chmod 0755 "$rig"
runtime=$rig/runtime
mkdir -m 0700 "$runtime"
pids=()

if [[ $(id -u) == 0 ]]; then
    user=65534
    as_user=(setpriv --reuid=$user --regid=$user --clear-groups)
    chown "$user:$user" "$runtime"
    # XWayland's socket directory must be world-writable and root's, or mutter refuses to start XWayland.
    mkdir -p /tmp/.X11-unix
    chmod 1777 /tmp/.X11-unix
else
    user=$(id -u)
    as_user=()
fi

# Whether a process is gone (a zombie of ours counts as gone).
ended() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null || true)
    [[ -z "$state" || "$state" == Z* ]]
}

stop_process() {
    kill "$1" 2>/dev/null || true
    for _ in $(seq 100); do
        ended "$1" && return 0
        sleep 0.05
    done
    kill -9 "$1" 2>/dev/null || true
}

stop_all() {
    local index
    # Newest first; the session bus ends by itself once the compositor, its child, has ended.
    for ((index = ${#pids[@]} - 1; index >= 1; index--)); do
        stop_process "${pids[index]}"
    done
    [[ -s "$runtime/compositor.pid" ]] && stop_process "$(cat "$runtime/compositor.pid")"
    if ((${#pids[@]} > 0)); then
        for _ in $(seq 100); do
            ended "${pids[0]}" && break
            sleep 0.05
        done
        stop_process "${pids[0]}"
        wait "${pids[0]}" 2>/dev/null || true
    fi
    rm -rf "$rig"
}
trap stop_all EXIT
trap 'exit 0' TERM INT

fail() {
    echo "start-compositor: $*" >&2
    [[ -s "$runtime/compositor.log" ]] && tail -n 20 "$runtime/compositor.log" >&2
    exit 1
}

wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    fail "$what did not come up"
}

user_env=(env -i HOME="$runtime" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin LANG=C.UTF-8)

start_mutter() {
    command -v mutter >/dev/null || fail "mutter is not installed"
    # The session bus lets root in too: the app under test runs as root and talks to mutter over it.
    cat >"$rig/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
CONF
    cat >"$rig/session.sh" <<'SESSION'
#!/bin/sh
echo "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_RUNTIME_DIR/bus"
echo $$ >"$XDG_RUNTIME_DIR/compositor.pid"
exec mutter --headless --wayland --virtual-monitor 1280x800 --wayland-display=wayland-tolvan \
    >"$XDG_RUNTIME_DIR/compositor.log" 2>&1
SESSION
    chmod 0755 "$rig/session.sh"
    "${as_user[@]}" "${user_env[@]}" dbus-run-session --config-file="$rig/bus.conf" -- "$rig/session.sh" \
        >/dev/null 2>&1 &
    pids+=($!)
    wait_for "mutter's Wayland socket" test -S "$runtime/wayland-tolvan"
    wait_for "mutter's XWayland" grep -q "Using public X11 display" "$runtime/compositor.log"
    display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$runtime/compositor.log" | head -n 1)
    authority=$(ls "$runtime"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
    bus=$(cat "$runtime/bus")
    wait_for "the X display $display" env DISPLAY="$display" XAUTHORITY="$authority" xdpyinfo
    wait_for "mutter's remote desktop service" env DBUS_SESSION_BUS_ADDRESS="$bus" dbus-send --session \
        --print-reply --dest=org.gnome.Mutter.RemoteDesktop /org/gnome/Mutter/RemoteDesktop \
        org.freedesktop.DBus.Peer.Ping
    # Headless mutter has no keyboard, and without one no window gets the keyboard focus: a remote-desktop
    # session held open stands for the keyboard every real desktop has.
    cat >"$rig/keyboard.py" <<'KEYBOARD'
from gi.repository import Gio, GLib
name = "org.gnome.Mutter.RemoteDesktop"
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
session = bus.call_sync(name, "/org/gnome/Mutter/RemoteDesktop", name, "CreateSession", None, None, 0, -1,
                        None).unpack()[0]
bus.call_sync(name, session, name + ".Session", "Start", None, None, 0, -1, None)
# Mutter gives windows the keyboard focus at the first key of a seat that had no keyboard; that key goes nowhere.
for pressed in (True, False):
    bus.call_sync(name, session, name + ".Session", "NotifyKeyboardKeycode", GLib.Variant("(ub)", (42, pressed)),
                  None, 0, -1, None)
print("KEYBOARD", flush=True)
GLib.MainLoop().run()
KEYBOARD
    "${as_user[@]}" "${user_env[@]}" DBUS_SESSION_BUS_ADDRESS="$bus" /usr/bin/python3 "$rig/keyboard.py" \
        >"$rig/keyboard.out" 2>"$runtime/keyboard.log" &
    pids+=($!)
    wait_for "the rig's keyboard" grep -q KEYBOARD "$rig/keyboard.out"
}

case "$compositor" in
mutter) start_mutter ;;
*) fail "unknown compositor: $compositor" ;;
esac

cat >"$runtime/client.env" <<ENV
WAYLAND_DISPLAY=$runtime/wayland-tolvan
DISPLAY=$display
XAUTHORITY=$authority
DBUS_SESSION_BUS_ADDRESS=$bus
ENV
cat "$runtime/client.env"
echo "COMPOSITOR_RUNTIME_DIR=$runtime"
echo READY
# Until SIGTERM; `wait` returns at once when the trap runs.
while kill -0 "${pids[0]}" 2>/dev/null; do
    wait "${pids[0]}" || true
done
fail "$compositor ended by itself"
