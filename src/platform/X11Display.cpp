#include "platform/X11Display.h"

#include <X11/Xlib.h>

namespace X11Display
{

bool isReachable()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

} // namespace X11Display
