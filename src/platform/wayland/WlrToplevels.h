#pragma once

#include "platform/wayland/WaylandWindows.h"

#include <map>
#include <memory>

struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_handle_v1_listener;

// The windows of a wlroots compositor as its foreign-toplevel protocol tells them.
class WlrToplevels : public WaylandWindows
{
public:
    WlrToplevels(zwlr_foreign_toplevel_manager_v1* manager, wl_seat* seat);
    ~WlrToplevels() override;
    WlrToplevels(const WlrToplevels&) = delete;
    WlrToplevels& operator=(const WlrToplevels&) = delete;

    ActiveWindow::WindowId focused() const override;
    const Window* find(ActiveWindow::WindowId window) const override;
    bool activate(ActiveWindow::WindowId window) override;

private:
    static void added(void* data, zwlr_foreign_toplevel_manager_v1* manager, zwlr_foreign_toplevel_handle_v1* handle);
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1* manager);

    struct Entry
    {
        WlrToplevels* owner;
        ActiveWindow::WindowId id;
        zwlr_foreign_toplevel_handle_v1* handle;
        Window window;
        // The values of the next "done", which makes them current.
        Window pending;
    };
    static const struct zwlr_foreign_toplevel_handle_v1_listener handleListener;
    void remove(Entry* entry);

    zwlr_foreign_toplevel_manager_v1* manager_;
    wl_seat* seat_;
    ActiveWindow::WindowId nextId_ = ActiveWindow::nativeWindowBit | 1;
    std::map<ActiveWindow::WindowId, std::unique_ptr<Entry>> entries_;
};
