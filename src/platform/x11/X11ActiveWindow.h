#pragma once

#include "platform/ActiveWindow.h"

// ActiveWindow for the X11 display (XWayland in a Wayland session): the window manager's _NET_ACTIVE_WINDOW.
// Every function opens its own connection, so it may be called from any thread.
namespace X11ActiveWindow
{
// 0 also while a native Wayland window has the focus: the compositor's X11 window manager then reports none.
ActiveWindow::WindowId current();
bool activate(ActiveWindow::WindowId window);
// The windows of _NET_CLIENT_LIST that have a class hint.
std::vector<ActiveWindow::OpenWindow> openWindows();
} // namespace X11ActiveWindow
