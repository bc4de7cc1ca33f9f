#pragma once

#include "platform/ActiveWindow.h"
#include "platform/Keys.h"

#include <QStringList>

// Text delivery into the native windows of a Wayland compositor: which one has the focus, bringing one to the
// front, keystrokes into it. X11 windows (XWayland) keep the X11 route; KeyInjector and ActiveWindow use this
// one while no X11 window is active. Every member may be called from any thread.
class WaylandRoute
{
public:
    virtual ~WaylandRoute() = default;

    // The route of this session's compositor, chosen once from DesktopSession::deliveryRoute(); nullptr where
    // the compositor offers none (native windows then get the text on the clipboard).
    static WaylandRoute* shared();

    // The focused native window (nativeWindowBit set), or 0 when none is or the compositor does not tell. Two
    // calls give the same identifier only for what the route knows to be the same window.
    virtual ActiveWindow::WindowId focusedWindow() = 0;
    // Asks the compositor to focus the native window; false when it no longer exists.
    virtual bool activate(ActiveWindow::WindowId window) = 0;
    // The focused native window's identity, e.g. {app_id}, for the terminal rule; empty when unknown.
    virtual QStringList focusedWindowClass() = 0;
    // Presses the modifiers, the key, and releases them all, into the focused window; false when nothing could
    // be posted.
    virtual bool postKey(Keys::Keysym key, Keys::Modifiers modifiers) = 0;
};
