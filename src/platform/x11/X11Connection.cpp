#include "platform/x11/X11Connection.h"

#include "platform/DisplayLoss.h"

namespace X11Connection
{

Connection open()
{
    Connection display(XOpenDisplay(nullptr));
    if (display)
        DisplayLoss::sparesOtherThreads(display.get());
    return display;
}

} // namespace X11Connection
