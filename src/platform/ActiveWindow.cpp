#include "platform/ActiveWindow.h"

#include "platform/WaylandRoute.h"
#include "platform/x11/X11ActiveWindow.h"

namespace ActiveWindow
{

WindowId current()
{
    if (const WindowId window = X11ActiveWindow::current())
        return window;
    return WaylandRoute::shared().focusedWindow();
}

bool activate(WindowId window)
{
    if (!isNative(window))
        return X11ActiveWindow::activate(window);
    return WaylandRoute::shared().activate(window);
}

std::vector<OpenWindow> openWindows()
{
    return X11ActiveWindow::openWindows();
}

} // namespace ActiveWindow
