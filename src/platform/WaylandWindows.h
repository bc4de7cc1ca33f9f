#pragma once

#include "platform/ActiveWindow.h"

#include <QString>

#include <functional>

// The windows of the compositor as a protocol of its own tells them (wlroots' foreign toplevels, KWin's Plasma window
// management): each one's app_id, title and whether it has the focus; X11 windows among them. Lives on the
// WaylandThread that bound the protocol, and is used only there.
class WaylandWindows
{
public:
    struct Window
    {
        QString appId;
        QString title;
        bool activated = false;
    };

    virtual ~WaylandWindows() = default;

    // Runs whenever the compositor has told of a change of a window, or of the focus.
    std::function<void()> onChange;

    // The focused window (nativeWindowBit set), 0 when none is.
    virtual ActiveWindow::WindowId focused() const = 0;
    virtual const Window* find(ActiveWindow::WindowId window) const = 0;
    // Asks the compositor to focus the window; false when it has closed.
    virtual bool activate(ActiveWindow::WindowId window) = 0;
};
