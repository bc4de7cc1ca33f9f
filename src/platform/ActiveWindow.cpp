#include "platform/ActiveWindow.h"

#include "platform/WaylandRoute.h"
#include "platform/x11/X11ActiveWindow.h"

namespace ActiveWindow
{

WindowId current()
{
    if (const WindowId window = X11ActiveWindow::current())
        return window;
    WaylandRoute* route = WaylandRoute::shared();
    return route ? route->focusedWindow() : 0;
}

bool activate(WindowId window)
{
    if (!isNative(window))
        return X11ActiveWindow::activate(window);
    WaylandRoute* route = WaylandRoute::shared();
    return route && route->activate(window);
}

} // namespace ActiveWindow
