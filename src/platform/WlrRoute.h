#pragma once

#include "platform/WaylandRoute.h"
#include "platform/WaylandThread.h"

#include <QString>

#include <memory>

class WlrClipboard;
class WlrKeyboard;
class WlrToplevels;

// The route into native windows of wlroots compositors (sway, Hyprland, river, labwc, Wayfire): keystrokes through
// the virtual-keyboard protocol, the focused window and its activation through the foreign-toplevel protocol, and
// for a paste (Ctrl+V, Ctrl+Shift+V) our clipboard's text handed to the seat through the data-control protocol
// first (wlroots passes an X11 program's clipboard on only while an X11 window has the focus).
class WlrRoute : public WaylandRoute
{
public:
    WlrRoute();
    ~WlrRoute() override;
    static WlrRoute& shared();

    ActiveWindow::WindowId focusedWindow() override;
    bool activate(ActiveWindow::WindowId window) override;
    QStringList focusedWindowClass() override;
    bool postKey(Keys::Keysym key, Keys::Modifiers modifiers) override;

private:
    void bind();

    // Only touched on the thread's own thread.
    struct Objects;
    std::shared_ptr<Objects> objects_;
    WaylandThread thread_;
};
