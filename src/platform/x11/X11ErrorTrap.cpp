#include "platform/x11/X11ErrorTrap.h"

#include <X11/Xlib.h>

namespace
{

thread_local X11ErrorTrap* currentTrap = nullptr;

int handleError(Display* display, XErrorEvent* event);

void installHandlerOnce()
{
    static const bool installed = [] {
        XSetErrorHandler(handleError);
        return true;
    }();
    (void)installed;
}

} // namespace

int recordX11Error(Display* display, void* event)
{
    X11ErrorTrap* trap = currentTrap;
    if (trap && trap->display_ == display && trap->error_ == 0)
        trap->error_ = static_cast<XErrorEvent*>(event)->error_code;
    return 0;
}

namespace
{

int handleError(Display* display, XErrorEvent* event)
{
    return recordX11Error(display, event);
}

} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), outer_(currentTrap)
{
    installHandlerOnce();
    XSync(display_, False);
    currentTrap = this;
}

X11ErrorTrap::~X11ErrorTrap()
{
    XSync(display_, False);
    currentTrap = outer_;
}

int X11ErrorTrap::takeError()
{
    XSync(display_, False);
    const int error = error_;
    error_ = 0;
    return error;
}
