#!/usr/bin/env bash
# Starts a headless Wayland compositor for the desktop tests and keeps it running until this script is stopped
# (SIGTERM). It prints "RUNTIME=<its XDG_RUNTIME_DIR>", "PID=<the compositor's process>", with XWayland
# "DISPLAY=<XWayland display>", for mutter
# "DBUS_SESSION_BUS_ADDRESS=<its session bus>" and last "WAYLAND_DISPLAY=<socket path>" once they answer, or
# "UNAVAILABLE <reason>" and exits 1 when the compositor cannot start here. sway, mutter and kwin run with XWayland;
# weston without: its XWayland crashes on the first X11 clipboard change while the headless seat has no keyboard.
# Compositors refuse to run as root: as root it runs as the user nobody, with a runtime directory of that user's.
# Clients of the compositor are started with run-client.sh.
# KWin gives its restricted protocols (fake input, the window list) only to a program whose installed desktop entry
# asks for them: with DESKTOP_ENTRY and PROGRAM it is installed for the compositor's user, its Exec naming PROGRAM as
# the package's names /usr/bin/tolvan. KWin must resolve that path as its own user, who may be unable to enter the
# checkout (a home folder of mode 0700, a `mktemp -d` folder): then the entry names a copy in the runtime directory,
# beside a link to PROGRAM's resources, and "PROGRAM=<the copy>" tells the tests to run that copy instead.
# Usage: tests/desktop/wayland/start-compositor.sh sway|weston|mutter|kwin [DESKTOP_ENTRY PROGRAM]
set -euo pipefail

compositor=$1
entry=${2:-}
program=${3:-}
runtime=$(mktemp -d /tmp/tolvan-wayland-XXXXXX)
trap 'rm -rf "$runtime"' EXIT
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    chown 65534:65534 "$runtime"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
# Everything the compositor's user runs or reads lives here: it may be unable to enter the checkout.
cd "$runtime"

unavailable() {
    echo "UNAVAILABLE $*"
    if [[ -s "$runtime/compositor.log" ]]; then tail -n 20 "$runtime/compositor.log" >&2; fi
    exit 1
}

executable=$compositor
if [[ $compositor == kwin ]]; then executable=kwin_wayland; fi
command -v "$executable" >/dev/null || unavailable "$compositor is not installed"
for tool in Xwayland xhost xdpyinfo; do
    command -v $tool >/dev/null || unavailable "$tool is not installed"
done

environment=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$runtime" XDG_RUNTIME_DIR="$runtime")
case $compositor in
sway)
    cat >"$runtime/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x800
xwayland force
exec sh -c 'echo "\$DISPLAY" > $runtime/display'
CONF
    "${environment[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        "${as_user[@]}" sway -c "$runtime/sway.conf" >"$runtime/compositor.log" 2>&1 &
    ;;
weston)
    "${environment[@]}" "${as_user[@]}" weston --backend=headless-backend.so --socket=wayland-tolvan \
        --width=1280 --height=800 --idle-time=0 >"$runtime/compositor.log" 2>&1 &
    ;;
mutter)
    command -v dbus-run-session >/dev/null || unavailable "dbus-run-session is not installed"
    # mutter refuses to start XWayland unless its socket directory is world-writable and root's.
    if [[ $(id -u) -eq 0 ]]; then
        mkdir -p /tmp/.X11-unix
        chmod 1777 /tmp/.X11-unix
    fi
    # mutter serves its remote desktop on the session bus; this one lets the tests' root user in too.
    cat >"$runtime/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
CONF
    cat >"$runtime/session.sh" <<'SESSION'
echo "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_RUNTIME_DIR/bus"
echo $$ >"$XDG_RUNTIME_DIR/mutter.pid"
exec mutter --headless --wayland --virtual-monitor 1280x800 --wayland-display=wayland-tolvan
SESSION
    "${environment[@]}" "${as_user[@]}" dbus-run-session --config-file="$runtime/bus.conf" -- \
        sh "$runtime/session.sh" >"$runtime/compositor.log" 2>&1 &
    ;;
kwin)
    # kwin_wayland carries a file capability an unprivileged user cannot be given, so it would not start: a copy
    # without it does. Its built-in platform plugin loads only under the name kwin_wayland.
    mkdir -p "$runtime/bin"
    cp "$(command -v kwin_wayland)" "$runtime/bin/kwin_wayland"
    if [[ -n "$entry" ]]; then
        if ! "${as_user[@]}" test -x "$program"; then
            mkdir -p "$runtime/app/bin"
            cp "$program" "$runtime/app/bin/"
            ln -s "$(cd "$(dirname "$program")/../share" && pwd)" "$runtime/app/share"
            program="$runtime/app/bin/$(basename "$program")"
            echo "PROGRAM=$program"
        fi
        mkdir -p "$runtime/.local/share/applications"
        sed "s|^Exec=.*|Exec=$program|" "$entry" >"$runtime/.local/share/applications/$(basename "$entry")"
    fi
    chown -R --reference="$runtime" "$runtime"
    # KWin tells a program by the executable its /proc entry names, which it may read only for its own user's
    # processes. Here the tests run as root and KWin as nobody: reading them needs CAP_SYS_PTRACE, and nothing else.
    kwin_user=("${as_user[@]}")
    if [[ $(id -u) -eq 0 ]]; then kwin_user+=(--inh-caps=+sys_ptrace --ambient-caps=+sys_ptrace); fi
    # KWin starts this once XWayland is up, with its DISPLAY.
    printf '#!/bin/sh\necho "$DISPLAY" > %s/display\n' "$runtime" >"$runtime/bin/tell-display"
    chmod 755 "$runtime/bin/tell-display"
    "${environment[@]}" "${kwin_user[@]}" "$runtime/bin/kwin_wayland" --virtual --xwayland --socket wayland-tolvan \
        --width 1280 --height 800 --no-lockscreen "$runtime/bin/tell-display" >"$runtime/compositor.log" 2>&1 &
    ;;
*)
    unavailable "unknown compositor $compositor"
    ;;
esac
pid=$!
helpers=()
# Whether a process is gone (a zombie of ours counts as gone).
ended() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null || true)
    [[ -z "$state" || "$state" == Z* ]]
}
end_process() {
    kill "$1" 2>/dev/null || true
    for _ in $(seq 100); do
        ended "$1" && return 0
        sleep 0.05
    done
    kill -9 "$1" 2>/dev/null || true
}
stop() {
    local helper
    for helper in "${helpers[@]}"; do end_process "$helper"; done
    if [[ -s "$runtime/mutter.pid" ]]; then
        # dbus-run-session ends its bus once mutter, its child, has ended.
        end_process "$(cat "$runtime/mutter.pid")"
        for _ in $(seq 100); do
            ended $pid && break
            sleep 0.05
        done
    fi
    end_process $pid
    wait $pid 2>/dev/null || true
    rm -rf "$runtime"
}
trap 'stop; exit 0' TERM INT
trap stop EXIT

# mutter has no keyboard of its own headless, and gives no window the keyboard focus until a keyboard's first key:
# a remote-desktop session of the rig's, held open with one Shift pressed, stands for the keyboard of a desktop.
start_mutter_keyboard() {
    cat >"$runtime/keyboard.py" <<'KEYBOARD'
from gi.repository import Gio, GLib
name = "org.gnome.Mutter.RemoteDesktop"
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
session = bus.call_sync(name, "/org/gnome/Mutter/RemoteDesktop", name, "CreateSession", None, None, 0, -1,
                        None).unpack()[0]
bus.call_sync(name, session, name + ".Session", "Start", None, None, 0, -1, None)
for pressed in (True, False):
    bus.call_sync(name, session, name + ".Session", "NotifyKeyboardKeycode", GLib.Variant("(ub)", (42, pressed)),
                  None, 0, -1, None)
print("KEYBOARD", flush=True)
GLib.MainLoop().run()
KEYBOARD
    "${environment[@]}" DBUS_SESSION_BUS_ADDRESS="$(cat "$runtime/bus")" "${as_user[@]}" python3 \
        "$runtime/keyboard.py" >"$runtime/keyboard.out" 2>>"$runtime/compositor.log" &
    helpers+=($!)
    for _ in $(seq 100); do
        grep -qs KEYBOARD "$runtime/keyboard.out" && return 0
        sleep 0.05
    done
    unavailable "mutter's remote desktop gave the rig no keyboard"
}

# The socket and XWayland come up within a few seconds; a compositor that died says so at once.
for _ in $(seq 200); do
    kill -0 $pid 2>/dev/null || unavailable "$compositor exited at start"
    socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n 1)
    if [[ -n "$socket" && $compositor == weston ]]; then
        echo "RUNTIME=$runtime"
        echo "PID=$pid"
        echo "WAYLAND_DISPLAY=$socket"
        wait $pid
        exit 0
    fi
    authority=()
    if [[ $compositor == mutter ]]; then
        sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$runtime/compositor.log" >"$runtime/display"
        authority=("XAUTHORITY=$(find "$runtime" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n 1)")
    fi
    display=""
    if [[ -s "$runtime/display" ]]; then display=$(cat "$runtime/display"); fi
    # XWayland lets in only its own user: the tests' user is let in too.
    if [[ -n "$socket" && -n "$display" ]] &&
        env DISPLAY="$display" "${authority[@]}" "${as_user[@]}" xhost "+si:localuser:$(id -un)" >/dev/null 2>&1 &&
        DISPLAY=$display xdpyinfo >/dev/null 2>&1; then
        bus=""
        compositor_pid=$pid
        if [[ $compositor == mutter ]]; then
            start_mutter_keyboard
            bus="DBUS_SESSION_BUS_ADDRESS=$(cat "$runtime/bus")"
            compositor_pid=$(cat "$runtime/mutter.pid")
        fi
        # WAYLAND_DISPLAY last: the tests take it as the sign that everything is there.
        printf '%s\n' "RUNTIME=$runtime" "PID=$compositor_pid" "DISPLAY=$display" $bus "WAYLAND_DISPLAY=$socket"
        wait $pid
        exit 0
    fi
    sleep 0.05
done
unavailable "$compositor did not come up"
