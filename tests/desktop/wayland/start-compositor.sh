#!/usr/bin/env bash
# Starts a headless Wayland compositor for the desktop tests and keeps it running until this script is stopped
# (SIGTERM). It prints "RUNTIME=<its XDG_RUNTIME_DIR>", "WAYLAND_DISPLAY=<socket path>" and, with XWayland,
# "DISPLAY=<XWayland display>" once they answer, or "UNAVAILABLE <reason>" and exits 1 when the compositor cannot
# start here. sway runs with XWayland; weston without: its XWayland crashes on the first X11 clipboard change while
# the headless seat has no keyboard. Compositors refuse to run as root: as root it runs as the user nobody, with a runtime directory of
# that user's. Clients of the compositor are started with run-client.sh.
# Usage: tests/desktop/wayland/start-compositor.sh sway|weston
set -euo pipefail

compositor=$1
runtime=$(mktemp -d /tmp/tolvan-wayland-XXXXXX)
trap 'rm -rf "$runtime"' EXIT
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    chown 65534:65534 "$runtime"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

unavailable() {
    echo "UNAVAILABLE $*"
    if [[ -s "$runtime/compositor.log" ]]; then tail -n 20 "$runtime/compositor.log" >&2; fi
    exit 1
}

command -v "$compositor" >/dev/null || unavailable "$compositor is not installed"
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
*)
    unavailable "unknown compositor $compositor"
    ;;
esac
pid=$!
stop() {
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    rm -rf "$runtime"
}
trap 'stop; exit 0' TERM INT
trap stop EXIT

# The socket and XWayland come up within a few seconds; a compositor that died says so at once.
for _ in $(seq 200); do
    kill -0 $pid 2>/dev/null || unavailable "$compositor exited at start"
    socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n 1)
    if [[ -n "$socket" && $compositor == weston ]]; then
        echo "RUNTIME=$runtime"
        echo "WAYLAND_DISPLAY=$socket"
        wait $pid
        exit 0
    fi
    display=""
    if [[ -s "$runtime/display" ]]; then display=$(cat "$runtime/display"); fi
    # XWayland lets in only its own user: the tests' user is let in too.
    if [[ -n "$socket" && -n "$display" ]] &&
        DISPLAY=$display "${as_user[@]}" xhost "+si:localuser:$(id -un)" >/dev/null 2>&1 &&
        DISPLAY=$display xdpyinfo >/dev/null 2>&1; then
        echo "RUNTIME=$runtime"
        echo "WAYLAND_DISPLAY=$socket"
        echo "DISPLAY=$display"
        wait $pid
        exit 0
    fi
    sleep 0.05
done
unavailable "$compositor did not come up"
