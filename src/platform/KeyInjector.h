#pragma once

#include "platform/ActiveWindow.h"
#include "platform/Keys.h"
#include "platform/WaylandRoute.h"

#include <QStringList>

// Synthetic keystrokes into the session, as if typed by the user: through X11 (XTEST) into X11 windows, and in a
// Wayland session through the compositor's route (WaylandRoute) into its native windows. Every function opens
// or shares a connection of its own, so it may be called from any thread; all of them do nothing useful
// without a display.
namespace KeyInjector
{
using Keystroke = WaylandRoute::Keystroke;

// Whether keystrokes can be posted right now (a display with the XTEST extension, or a Wayland route).
bool isAvailable();
// Waits until the user holds no modifier key (Shift, Ctrl, Alt, Super, AltGr), at most timeoutMs.
// True when none is held.
bool waitForModifiersReleased(int timeoutMs);
// Presses the modifiers, then the key (down, 25 ms, up), then releases the modifiers, into the focused window —
// only while that is `target` (0: whichever window has the focus). The key is found in the current keymap;
// letters missing from it (a layout without Latin letters) use their key on the standard PC keyboard. For a paste,
// `pasted` is the text on our clipboard, which native Wayland windows must get first.
Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                  const QString& pasted = {});
// Whether postKey, for the focused window, waits by itself until that window is offered the pasted text.
bool waitsForPastedText();
// The class hint (instance name and class name) of the window holding the keyboard focus, or of its
// nearest ancestor that has one (a native Wayland window: its app_id); empty when unknown.
QStringList focusedWindowClass();
// The focused window's program, for the shape of the text it gets: the class hint, or what a Wayland route tells of
// a native window's program; empty when unknown.
QStringList focusedProgram();
// Whether the focused window is a native window of the Wayland compositor (not an X11 one).
bool nativeWindowFocused();
} // namespace KeyInjector
