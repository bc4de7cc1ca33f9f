#!/usr/bin/env python3
# Media players as MPRIS puts them on the session bus (org.mpris.MediaPlayer2.NAME, object /org/mpris/MediaPlayer2),
# each on a connection of its own like separate programs. Prints "READY" once every player owns its name, then
# "CALL NAME METHOD" for each call of the player interface. Lines on standard input act as the user would:
# "NAME Playing|Paused|Stopped" sets its status, "NAME quit" closes the player.
# Usage: fake-mpris-players.py NAME=STATUS...
import sys

from gi.repository import Gio, GLib

PLAYER = "org.mpris.MediaPlayer2.Player"
INTERFACES = Gio.DBusNodeInfo.new_for_xml(f"""
<node>
  <interface name="{PLAYER}">
    <method name="Pause"/><method name="Play"/><method name="PlayPause"/><method name="Stop"/>
    <property name="PlaybackStatus" type="s" access="read"/>
  </interface>
</node>""")
NEXT_STATUS = {"Pause": "Paused", "Play": "Playing", "Stop": "Stopped"}

address = Gio.dbus_address_get_for_bus_sync(Gio.BusType.SESSION, None)
players = {}  # name -> {"status": str, "connection": Gio.DBusConnection}
waiting = set()


def on_call(name, method, invocation):
    print("CALL", name, method, flush=True)
    player = players[name]
    if method == "PlayPause":
        player["status"] = "Paused" if player["status"] == "Playing" else "Playing"
    else:
        player["status"] = NEXT_STATUS[method]
    invocation.return_value(None)


def add(name, status):
    connection = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)
    players[name] = {"status": status, "connection": connection}
    connection.register_object(
        "/org/mpris/MediaPlayer2", INTERFACES.interfaces[0],
        lambda _c, _s, _p, _i, method, _a, invocation: on_call(name, method, invocation),
        lambda _c, _s, _p, _i, _property: GLib.Variant("s", players[name]["status"]), None)
    waiting.add(name)

    def owned(*_):
        waiting.discard(name)
        if not waiting:
            print("READY", flush=True)

    # A name is lost when its player closes; otherwise it was never had.
    Gio.bus_own_name_on_connection(connection, "org.mpris.MediaPlayer2." + name, Gio.BusNameOwnerFlags.NONE,
                                   owned, lambda *_: name in players and sys.exit(1))


def on_input(source, _condition):
    line = source.readline()
    if not line:
        GLib.MainLoop().quit()
        return False
    name, word = line.split()
    if word == "quit":
        players.pop(name)["connection"].close_sync(None)
    else:
        players[name]["status"] = word
    print("SET", name, word, flush=True)
    return True


for argument in sys.argv[1:]:
    add(*argument.split("=", 1))
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
GLib.MainLoop().run()
