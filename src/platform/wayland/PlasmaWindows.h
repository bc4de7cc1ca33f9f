#pragma once

#include "platform/wayland/WaylandWindows.h"

#include <map>
#include <memory>

struct org_kde_plasma_window_management;
struct org_kde_plasma_window;

// The windows of KWin as its Plasma window-management protocol tells them (the task manager's protocol).
class PlasmaWindows : public WaylandWindows
{
public:
    explicit PlasmaWindows(org_kde_plasma_window_management* manager);
    ~PlasmaWindows() override;
    PlasmaWindows(const PlasmaWindows&) = delete;
    PlasmaWindows& operator=(const PlasmaWindows&) = delete;

    ActiveWindow::WindowId focused() const override;
    const Window* find(ActiveWindow::WindowId window) const override;
    bool activate(ActiveWindow::WindowId window) override;

    // The version this needs: windows are announced by their uuid from it on.
    static constexpr uint32_t version = 13;

private:
    struct Entry
    {
        PlasmaWindows* owner;
        ActiveWindow::WindowId id;
        org_kde_plasma_window* handle;
        Window window;
    };
    static void added(void* data, org_kde_plasma_window_management* manager, uint32_t, const char* uuid);
    void changed();
    void remove(Entry* entry);

    org_kde_plasma_window_management* manager_;
    ActiveWindow::WindowId nextId_ = ActiveWindow::nativeWindowBit | 1;
    std::map<ActiveWindow::WindowId, std::unique_ptr<Entry>> entries_;
};
