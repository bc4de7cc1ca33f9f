#pragma once

#include <X11/Xlib.h>

#include <memory>

// A short-lived connection of our own to the X11 display, closed when it goes. The loss of the display while it is
// open ends only the thread using it (DisplayLoss).
namespace X11Connection
{
struct Close
{
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using Connection = std::unique_ptr<Display, Close>;

// Null when the display cannot be reached.
Connection open();
} // namespace X11Connection
