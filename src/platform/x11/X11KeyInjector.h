#pragma once

#include "platform/Keys.h"

#include <QStringList>

// KeyInjector for the X11 display (XWayland in a Wayland session): XTEST keystrokes, the focused window's class
// hint. Every function opens its own connection, so it may be called from any thread.
namespace X11KeyInjector
{
bool isAvailable();
bool waitForModifiersReleased(int timeoutMs);
bool postKey(Keys::Keysym key, Keys::Modifiers modifiers);
QStringList focusedWindowClass();
} // namespace X11KeyInjector
