#pragma once

#include "platform/Keys.h"

#include <QStringList>

// Synthetic keystrokes into the session, as if typed by the user: through X11 (XTEST) into X11 windows, and in a
// Wayland session through the compositor's route (WaylandRoute) into its native windows. Every function opens
// or shares a connection of its own, so it may be called from any thread; all of them do nothing useful
// without a display.
namespace KeyInjector
{
// Whether keystrokes can be posted right now (a display with the XTEST extension, or a Wayland route).
bool isAvailable();
// Waits until the user holds no modifier key (Shift, Ctrl, Alt, Super, AltGr), at most timeoutMs.
// True when none is held.
bool waitForModifiersReleased(int timeoutMs);
// Presses the modifiers, then the key (down, 25 ms, up), then releases the modifiers. The key is found
// in the current keymap; letters missing from it (a layout without Latin letters) use their key on the
// standard PC keyboard. False when nothing could be posted.
bool postKey(Keys::Keysym key, Keys::Modifiers modifiers);
// The class hint (instance name and class name) of the window holding the keyboard focus, or of its
// nearest ancestor that has one (a native Wayland window: its app_id); empty when unknown.
QStringList focusedWindowClass();
} // namespace KeyInjector
