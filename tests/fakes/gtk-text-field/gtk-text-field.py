#!/usr/bin/env python3
# A GTK 3 window with one focused multi-line text field, standing for a native Wayland application the user
# dictates into (run it with GDK_BACKEND=wayland). Reports on standard output, one line each, like the Qt
# text field: "READY" once the field has the keyboard focus, "TEXT <content>" after every change (line breaks
# as the two characters "\n"), "KEY <name>" for every key press it receives (e.g. "KEY Ctrl+V").
# Usage: gtk-text-field.py [APP_ID]   (the Wayland app_id, default "tolvan-gtk-field")
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def report(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def key_name(event):
    parts = []
    if event.state & Gdk.ModifierType.CONTROL_MASK:
        parts.append("Ctrl")
    if event.state & Gdk.ModifierType.SHIFT_MASK:
        parts.append("Shift")
    if event.state & Gdk.ModifierType.MOD1_MASK:
        parts.append("Alt")
    name = Gdk.keyval_name(Gdk.keyval_to_upper(event.keyval)) or str(event.keyval)
    parts.append(name)
    return "+".join(parts)


def main():
    GLib.set_prgname(sys.argv[1] if len(sys.argv) > 1 else "tolvan-gtk-field")
    window = Gtk.Window(title="Поле для диктовки")
    window.set_default_size(600, 300)
    view = Gtk.TextView()
    window.add(view)
    buffer = view.get_buffer()
    announced = {"ready": False}

    def on_changed(_buffer):
        start, end = buffer.get_bounds()
        report("TEXT " + buffer.get_text(start, end, True).replace("\n", "\\n"))

    def on_focus(_widget, _event):
        if not announced["ready"]:
            announced["ready"] = True
            report("READY")
        return False

    def on_key(_widget, event):
        report("KEY " + key_name(event))
        return False

    buffer.connect("changed", on_changed)
    view.connect("focus-in-event", on_focus)
    view.connect("key-press-event", on_key)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    view.grab_focus()
    Gtk.main()


if __name__ == "__main__":
    main()
