#!/usr/bin/env bash
# What one remote-desktop session per keystroke costs under headless mutter (the rig's start-compositor.sh),
# printed, never asserted: CreateSession + Start + EnableClipboard, the four key notifications of Ctrl+V, and
# Stop, each the median and the largest of ROUNDS rounds (default 20), as the GNOME route makes them.
#   bench/gnome-session.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${ROUNDS:-20}
output=$(mktemp)
"$root/tests/desktop/wayland/start-compositor.sh" mutter >"$output" &
compositor=$!
trap 'kill $compositor; wait $compositor || true; rm -f "$output"' EXIT
for _ in $(seq 400); do
    grep -q '^WAYLAND_DISPLAY=' "$output" && break
    grep -q '^UNAVAILABLE' "$output" && { cat "$output"; exit 1; }
    sleep 0.05
done
bus=$(sed -n 's/^DBUS_SESSION_BUS_ADDRESS=//p' "$output")

DBUS_SESSION_BUS_ADDRESS=$bus ROUNDS=$rounds /usr/bin/python3 - <<'PYTHON'
import os, statistics, time
from gi.repository import Gio, GLib

name = "org.gnome.Mutter.RemoteDesktop"
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(path, interface, method, arguments=None):
    return bus.call_sync(name, path, interface, method, arguments, None, 0, -1, None)


figures = {"open": [], "keys": [], "stop": []}
for _ in range(int(os.environ["ROUNDS"])):
    started = time.monotonic()
    session = call("/org/gnome/Mutter/RemoteDesktop", name, "CreateSession").unpack()[0]
    call(session, name + ".Session", "Start")
    call(session, name + ".Session", "EnableClipboard", GLib.Variant("(a{sv})", ({},)))
    opened = time.monotonic()
    for code, pressed in ((29, True), (47, True), (47, False), (29, False)):
        call(session, name + ".Session", "NotifyKeyboardKeycode", GLib.Variant("(ub)", (code, pressed)))
    typed = time.monotonic()
    call(session, name + ".Session", "Stop")
    figures["open"].append((opened - started) * 1000)
    figures["keys"].append((typed - opened) * 1000)
    figures["stop"].append((time.monotonic() - typed) * 1000)
for step, values in figures.items():
    print(f"gnome session {step}: median {statistics.median(values):.1f} ms, largest {max(values):.1f} ms")
PYTHON
