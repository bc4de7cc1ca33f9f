#pragma once

#include "platform/WaylandRoute.h"

// The route of a session that has no way to native Wayland windows: an X11 session, or a compositor that offers
// Tolvan neither keys nor its clipboard. No native window counts as focused; X11 windows keep the X11 route.
class NoNativeRoute final : public WaylandRoute
{
public:
    static NoNativeRoute& shared();

    bool reachesNativeWindows() const override { return false; }
    ActiveWindow::WindowId focusedWindow() override { return 0; }
    bool activate(ActiveWindow::WindowId) override { return false; }
    QStringList focusedWindowClass() override { return {}; }
    Keystroke postKey(ActiveWindow::WindowId, Keys::Keysym, Keys::Modifiers, const QString&) override
    {
        return Keystroke::failed;
    }
};
