#!/usr/bin/env python3
# A tray host as KDE Plasma's is, on the session bus it is started with: it owns org.kde.StatusNotifierWatcher, says a
# host is registered, and reads a registered item as plasmashell does. Prints "READY" once it owns its name, "ITEM"
# when an item registers, "SIGNAL <name>" for each of its NewIcon and NewStatus signals, and for the item as
# registered and after each such signal:
# "SHOWN <status> <digest of its largest icon pixmap> | <menu label> | <menu label>…", the menu read through
# com.canonical.dbusmenu after AboutToShow, as a host does before it shows the menu (enabled top-level entries only).
# A read that fails prints "FAILED <why>" instead. A line "report" on standard input reads every item again.
import hashlib
import sys

from gi.repository import Gio, GLib

WATCHER = Gio.DBusNodeInfo.new_for_xml("""
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  </interface>
</node>""").interfaces[0]
ITEM = "org.kde.StatusNotifierItem"
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
items = []


def call(service, path, interface, method, arguments, signature):
    return bus.call_sync(service, path, interface, method, GLib.Variant(signature, arguments) if signature else None,
                         None, Gio.DBusCallFlags.NONE, 5000, None).unpack()


def prop(service, path, name):
    return call(service, path, "org.freedesktop.DBus.Properties", "Get", (ITEM, name), "(ss)")[0]


def report(service, path):
    # A call that fails while the item changes (a menu rebuilt under the host) is said, and the host goes on.
    try:
        read(service, path)
    except Exception as error:  # noqa: BLE001 - whatever failed is reported, and the host keeps reading
        print("FAILED", error, flush=True)


def read(service, path):
    pixmaps = prop(service, path, "IconPixmap")
    width, height, data = max(pixmaps, key=lambda pixmap: pixmap[0] * pixmap[1]) if pixmaps else (0, 0, b"")
    digest = hashlib.sha1(bytes(data)).hexdigest()[:12] if data else "none"
    menu = prop(service, path, "Menu")
    call(service, menu, "com.canonical.dbusmenu", "AboutToShow", (0,), "(i)")
    _, (_, _, entries) = call(service, menu, "com.canonical.dbusmenu", "GetLayout", (0, 1, []), "(iias)")
    labels = [properties["label"] for _, properties, _ in entries
              if "label" in properties and properties.get("enabled", True) and properties.get("visible", True)]
    print(" | ".join([f"SHOWN {prop(service, path, 'Status')} {width}x{height}:{digest}"] + labels), flush=True)


def announced(signal, service, path):
    print("SIGNAL", signal, flush=True)
    report(service, path)


def register(connection, sender, path, interface, method, parameters, invocation):
    invocation.return_value(None)
    if method != "RegisterStatusNotifierItem":
        return
    service, = parameters.unpack()
    item_path = "/StatusNotifierItem"
    if service.startswith("/"):
        service, item_path = sender, service
    items.append((service, item_path))
    print("ITEM", flush=True)
    for signal in ("NewIcon", "NewStatus"):
        bus.signal_subscribe(service, ITEM, signal, item_path, None, Gio.DBusSignalFlags.NONE,
                             lambda *arguments: announced(arguments[4], service, item_path))
    GLib.idle_add(lambda: report(service, item_path) and False)


def get_property(connection, sender, path, interface, name):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", [service for service, _ in items]),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
            "ProtocolVersion": GLib.Variant("i", 0)}[name]


def read_command(channel, condition):
    line = sys.stdin.readline()
    if not line:
        return False
    if line.strip() == "report":
        for service, path in items:
            report(service, path)
    return True


GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                  read_command)
bus.register_object("/StatusNotifierWatcher", WATCHER, register, get_property, None)
Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("READY", flush=True), None)
GLib.MainLoop().run()
