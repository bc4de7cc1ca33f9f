#pragma once

#include <QString>

#include <optional>

// The clipboard as pasting needs it, on X11 and under Wayland compositors alike: Qt's clipboard for X11 programs
// (XWayland's in a Wayland session), and, where the compositor keeps native windows' clipboard apart from it
// (wlroots), that one too. Main thread, except where told.
namespace Clipboard
{
// Whether the clipboard is ours and holds exactly this text. Never asks another program: a clipboard owner that
// hangs would keep the main thread waiting for seconds.
bool holds(const QString& text);
// Puts the text on the clipboard; false when another program kept it (the X server refuses a new owner whose
// request is stamped older than the current owner's).
bool put(const QString& text);
// The text as the primary selection, which terminals paste with Shift+Insert.
void putSelection(const QString& text);
// The text on the clipboard now.
QString text();
// Makes the text native windows' clipboard too, where it is kept apart from X11 programs'. Returns at once.
void shareWithNativeWindows(const QString& text);
// Whether the focused window is a native one whose clipboard is kept apart: what the user had there is that one's.
bool focusedKeepsItsOwn();
// That clipboard's text; nothing when it holds no text. Waits for the compositor: off the main thread.
std::optional<QString> focusedText();
// Puts `previous` back, on the clipboard the paste used, unless it no longer holds exactly `inserted` (the user
// copied something meanwhile); whether it did. Through the compositor (`focusedOwn`) it waits for it: off the main
// thread then.
bool restore(const QString& inserted, const QString& previous, bool focusedOwn);
} // namespace Clipboard
