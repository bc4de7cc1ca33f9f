#pragma once

#include <QtGlobal>

// The window the user is working in (the window manager's _NET_ACTIVE_WINDOW), so that text dictated for it
// reaches it even after another window came to the front. Every function opens its own connection to the
// display, so it may be called from any thread.
namespace ActiveWindow
{
// An X11 window identifier; 0 stands for none.
using WindowId = quint64;

// The active window, or 0 without a display or a window manager that reports one.
WindowId current();
// Asks the window manager to bring the window to the front and give it the keyboard focus. False when the
// window no longer exists or there is no display; the window manager may still refuse.
bool activate(WindowId window);
} // namespace ActiveWindow
