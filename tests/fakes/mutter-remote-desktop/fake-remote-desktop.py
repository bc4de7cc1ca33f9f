#!/usr/bin/env python3
# mutter's remote desktop (org.gnome.Mutter.RemoteDesktop) as far as Tolvan uses it, on the session bus it is
# started with. Prints "READY" once it owns its name, then one line per call it is given:
# "CALL <session number> <method> <arguments…>" (session 0: the service object).
# Usage: fake-remote-desktop.py [--clipboard TEXT] [--refuse-clipboard] [--late-press N] [--closed-at-press N]
#   --clipboard TEXT     what SelectionRead gives; without it SelectionRead fails ("No selection owner available")
#   --refuse-clipboard   EnableClipboard fails
#   --late-press N       the Nth key press of all sessions (from 1) is answered 3.5 s late
#   --closed-at-press N  at the Nth key press the session is closed from outside (the screen-sharing
#                        indicator's stop), as mutter does: signal Closed, then "Session not started" for every call
import argparse
import os
import sys

from gi.repository import Gio, GLib

NAME = "org.gnome.Mutter.RemoteDesktop"
SESSION = NAME + ".Session"
INTERFACES = Gio.DBusNodeInfo.new_for_xml(f"""
<node>
  <interface name="{NAME}"><method name="CreateSession"><arg type="o" direction="out"/></method></interface>
  <interface name="{SESSION}">
    <method name="Start"/><method name="Stop"/>
    <method name="EnableClipboard"><arg type="a{{sv}}" direction="in"/></method>
    <method name="SelectionRead"><arg type="s" direction="in"/><arg type="h" direction="out"/></method>
    <method name="NotifyKeyboardKeycode"><arg type="u" direction="in"/><arg type="b" direction="in"/></method>
    <method name="NotifyKeyboardKeysym"><arg type="u" direction="in"/><arg type="b" direction="in"/></method>
    <signal name="Closed"/>
  </interface>
</node>""")

parser = argparse.ArgumentParser()
parser.add_argument("--clipboard")
parser.add_argument("--refuse-clipboard", action="store_true")
parser.add_argument("--late-press", type=int, default=0)
parser.add_argument("--closed-at-press", type=int, default=0)
options = parser.parse_args()

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
sessions = {}  # number -> {"running": bool, "registration": id}
presses = 0


def fail(invocation, message):
    invocation.return_dbus_error("org.freedesktop.DBus.Error.Failed", message)


def close(number):
    sessions[number]["running"] = False
    bus.emit_signal(None, f"/org/gnome/Mutter/RemoteDesktop/Session/u{number}", SESSION, "Closed", None)


def on_session_call(number, method, arguments, invocation):
    global presses
    session = sessions[number]
    print("CALL", number, method, *[str(value) for value in arguments], flush=True)
    if method == "Start":
        session["running"] = True
        return invocation.return_value(None)
    if not session["running"]:
        return fail(invocation, "Session not started")
    if method == "Stop":
        close(number)
        return invocation.return_value(None)
    if method == "EnableClipboard":
        return fail(invocation, "Clipboard refused") if options.refuse_clipboard else invocation.return_value(None)
    if method == "SelectionRead":
        if options.clipboard is None:
            return fail(invocation, "No selection owner available")
        readable, writable = os.pipe()
        os.write(writable, options.clipboard.encode())
        os.close(writable)
        descriptors = Gio.UnixFDList.new_from_array([readable])
        return invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), descriptors)
    if arguments[1]:
        presses += 1
        if presses == options.closed_at_press:
            close(number)
            return fail(invocation, "Session not started")
        if presses == options.late_press:
            GLib.timeout_add(3500, lambda: invocation.return_value(None) and False)
            return None
    return invocation.return_value(None)


def on_service_call(_connection, _sender, _path, _interface, method, arguments, invocation):
    print("CALL 0", method, flush=True)
    number = len(sessions) + 1
    path = f"/org/gnome/Mutter/RemoteDesktop/Session/u{number}"
    sessions[number] = {"running": False}
    bus.register_object(path, INTERFACES.interfaces[1],
                        lambda _c, _s, _p, _i, name, args, call: on_session_call(number, name, args.unpack(), call))
    invocation.return_value(GLib.Variant("(o)", (path,)))


bus.register_object("/org/gnome/Mutter/RemoteDesktop", INTERFACES.interfaces[0], on_service_call)
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("READY", flush=True), lambda *_: sys.exit(1))
GLib.MainLoop().run()
