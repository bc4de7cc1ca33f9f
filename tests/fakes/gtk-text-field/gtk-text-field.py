#!/usr/bin/env python3
# A GTK 3 window with one focused multi-line text field, standing for a native Wayland application the user
# dictates into (run it with GDK_BACKEND=wayland). Reports on standard output, one line each, like the Qt
# text field: "READY" once the field has the keyboard focus, "TEXT <content>" after every change (line breaks
# as the two characters "\n"), "KEY <name>" for every key press it receives (e.g. "KEY Ctrl+V").
# With --terminal the window holds a VTE terminal instead, as GNOME Terminal, Console and Ptyxis do: "TEXT" then
# reports everything the terminal sent to its program so far (typed or pasted; Ctrl+V arrives as "^V").
# With --password the field is a one-line password entry; with --chat a messenger's one-line entry, which sends its
# message and empties itself on Enter. A line "REPLACE <old>\t<new>" on standard input edits the field's text as the
# user would, replacing the last <old> by <new>; a line "ENTER" is the Enter key.
# Usage: gtk-text-field.py [--terminal | --password | --chat] [APP_ID]   (the Wayland app_id, default "tolvan-gtk-field")
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


def text_view():
    view = Gtk.TextView()
    buffer = view.get_buffer()

    def on_changed(_buffer):
        start, end = buffer.get_bounds()
        report("TEXT " + buffer.get_text(start, end, True).replace("\n", "\\n"))

    buffer.connect("changed", on_changed)
    return view


def one_line_entry(password):
    entry = Gtk.Entry()
    entry.set_visibility(not password)
    entry.connect("changed", lambda _entry: report("TEXT " + entry.get_text()))
    if not password:
        entry.connect("activate", lambda _entry: entry.set_text(""))
    return entry


def replace_last(view, old, new):
    if isinstance(view, Gtk.Entry):
        text = view.get_text()
        at = text.rfind(old)
        if at >= 0:
            view.delete_text(at, at + len(old))
            view.insert_text(new, at)
        return
    buffer = view.get_buffer()
    start, end = buffer.get_bounds()
    text = buffer.get_text(start, end, True)
    at = text.rfind(old)
    if at >= 0:
        first = buffer.get_iter_at_offset(at)
        last = buffer.get_iter_at_offset(at + len(old))
        buffer.delete(first, last)
        buffer.insert(buffer.get_iter_at_offset(at), new)


def follow_commands(view):
    def on_input(channel, _condition):
        line = channel.readline()
        if not line:
            return False
        command, _, rest = line.rstrip("\n").partition(" ")
        if command == "REPLACE" and "\t" in rest:
            replace_last(view, *rest.split("\t", 1))
        elif command == "ENTER":
            view.activate()
        return True

    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, on_input)


def terminal():
    gi.require_version("Vte", "2.91")
    from gi.repository import Vte

    view = Vte.Terminal()
    sent = []

    def on_commit(_terminal, text, _size):
        sent.append(text.replace("\x16", "^V"))
        report("TEXT " + "".join(sent).replace("\r", "\\n").replace("\n", "\\n"))

    view.connect("commit", on_commit)
    return view


def main():
    arguments = sys.argv[1:]
    kind = arguments[0] if arguments[:1] in (["--terminal"], ["--password"], ["--chat"]) else ""
    if kind:
        arguments = arguments[1:]
    GLib.set_prgname(arguments[0] if arguments else "tolvan-gtk-field")
    window = Gtk.Window(title="Поле для диктовки")
    window.set_default_size(600, 300)
    if kind == "--terminal":
        view = terminal()
    elif kind in ("--password", "--chat"):
        view = one_line_entry(kind == "--password")
    else:
        view = text_view()
    follow_commands(view)
    window.add(view)
    announced = {"ready": False}

    def on_focus(_widget, _event):
        if not announced["ready"]:
            announced["ready"] = True
            report("READY")
        return False

    def on_key(_widget, event):
        report("KEY " + key_name(event))
        return False

    view.connect("focus-in-event", on_focus)
    view.connect("key-press-event", on_key)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    view.grab_focus()
    Gtk.main()


if __name__ == "__main__":
    main()
