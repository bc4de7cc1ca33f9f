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

protected:
    // For a protocol's table of windows: identifiers to entries that hold a `window`.
    template <typename Entries> static ActiveWindow::WindowId focusedIn(const Entries& entries)
    {
        for (const auto& [id, entry] : entries) {
            if (entry->window.activated)
                return id;
        }
        return 0;
    }
    template <typename Entries> static auto* entryIn(const Entries& entries, ActiveWindow::WindowId window)
    {
        const auto found = entries.find(window);
        return found == entries.end() ? nullptr : found->second.get();
    }
};
