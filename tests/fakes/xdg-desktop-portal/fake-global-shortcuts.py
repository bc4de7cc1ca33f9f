#!/usr/bin/env python3
# The desktop portal (org.freedesktop.portal.Desktop) with its GlobalShortcuts interface as far as Tolvan uses it, on
# the session bus it is started with. Prints "READY" once it owns its name, then one line per call it is given:
# "CALL CreateSession" and "CALL BindShortcuts <id>|<description>|<preferred trigger>…". Each line read from standard
# input, "Activated <id>" or "Deactivated <id>", emits that signal for the last session.
# Usage: fake-global-shortcuts.py [--without-global-shortcuts]
#   --without-global-shortcuts   the portal object has no GlobalShortcuts interface (GNOME's portal, or one before 1.16)
import argparse
import sys

from gi.repository import Gio, GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
INTERFACES = Gio.DBusNodeInfo.new_for_xml(f"""
<node>
  <interface name="{SHORTCUTS}">
    <method name="CreateSession"><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="a(sa{{sv}})" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{{sv}}"/></signal>
    <signal name="Deactivated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{{sv}}"/></signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  </interface>
</node>""")

parser = argparse.ArgumentParser()
parser.add_argument("--without-global-shortcuts", action="store_true")
options = parser.parse_args()

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
state = {"session": None, "time": 0}


def request_path(sender, token):
    return f"{PATH}/request/{sender[1:].replace('.', '_')}/{token}"


def respond(invocation, sender, token, results):
    # The real portal answers the call with the request's path, then signals the request's Response to the caller.
    path = request_path(sender, token)
    invocation.return_value(GLib.Variant("(o)", (path,)))
    GLib.idle_add(lambda: bus.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                          GLib.Variant("(ua{sv})", (0, results))) and False)


def on_call(_connection, sender, _path, _interface, method, arguments, invocation):
    arguments = arguments.unpack()
    if method == "CreateSession":
        print("CALL CreateSession", flush=True)
        state["session"] = f"{PATH}/session/{sender[1:].replace('.', '_')}/{arguments[0]['session_handle_token']}"
        return respond(invocation, sender, arguments[0]["handle_token"],
                       {"session_handle": GLib.Variant("s", state["session"])})
    session, shortcuts, _parent, bind_options = arguments
    print("CALL BindShortcuts", *["|".join([shortcut_id, properties.get("description", ""),
                                            properties.get("preferred_trigger", "")])
                                  for shortcut_id, properties in shortcuts], flush=True)
    bound = [(shortcut_id, {"description": GLib.Variant("s", properties["description"]),
                            "trigger_description": GLib.Variant("s", properties.get("preferred_trigger", ""))})
             for shortcut_id, properties in shortcuts]
    return respond(invocation, sender, bind_options["handle_token"], {"shortcuts": GLib.Variant("a(sa{sv})", bound)})


def on_command(channel, _condition):
    line = channel.readline()
    if not line:
        return False
    signal, shortcut_id = line.split()
    state["time"] += 1
    bus.emit_signal(None, PATH, SHORTCUTS, signal,
                    GLib.Variant("(osta{sv})", (state["session"], shortcut_id, state["time"], {})))
    return True


interface = INTERFACES.interfaces[1] if options.without_global_shortcuts else INTERFACES.interfaces[0]
bus.register_object(PATH, interface, on_call, lambda *_: GLib.Variant("u", 1), None)
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                  on_command)
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("READY", flush=True), lambda *_: sys.exit(1))
GLib.MainLoop().run()
