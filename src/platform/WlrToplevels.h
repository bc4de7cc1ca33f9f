#pragma once

#include "platform/ActiveWindow.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>

struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_handle_v1_listener;

// The windows of a wlroots compositor as its foreign-toplevel protocol tells them: each one's app_id, title and
// whether it has the focus; X11 windows among them. Lives on the WaylandThread that bound the manager, and is
// used only there.
class WlrToplevels
{
public:
    WlrToplevels(zwlr_foreign_toplevel_manager_v1* manager, wl_seat* seat);
    ~WlrToplevels();
    WlrToplevels(const WlrToplevels&) = delete;
    WlrToplevels& operator=(const WlrToplevels&) = delete;

    struct Toplevel
    {
        QString appId;
        QString title;
        bool activated = false;
        // The values of the next "done", which makes them current.
        QString pendingAppId;
        QString pendingTitle;
        bool pendingActivated = false;
    };

    // Runs whenever the compositor has told of a change of a window, or of the focus.
    std::function<void()> onChange;

    // The focused window (nativeWindowBit set), 0 when none is.
    ActiveWindow::WindowId focused() const;
    const Toplevel* find(ActiveWindow::WindowId window) const;
    // False when the window has closed.
    bool activate(ActiveWindow::WindowId window);

private:
    static void added(void* data, zwlr_foreign_toplevel_manager_v1* manager, zwlr_foreign_toplevel_handle_v1* handle);
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1* manager);

    struct Entry
    {
        WlrToplevels* owner;
        ActiveWindow::WindowId id;
        zwlr_foreign_toplevel_handle_v1* handle;
        Toplevel toplevel;
    };
    static const struct zwlr_foreign_toplevel_handle_v1_listener handleListener;
    void remove(Entry* entry);

    zwlr_foreign_toplevel_manager_v1* manager_;
    wl_seat* seat_;
    ActiveWindow::WindowId nextId_ = ActiveWindow::nativeWindowBit | 1;
    std::map<ActiveWindow::WindowId, std::unique_ptr<Entry>> entries_;
};
