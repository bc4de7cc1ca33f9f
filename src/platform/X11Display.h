#pragma once

// The X11 display named by DISPLAY, and the kind of desktop session around it.
namespace X11Display
{
// Whether a connection to the display can be opened right now.
bool isReachable();
// A Wayland session: X11 programs run through XWayland and reach only each other.
bool isWaylandSession();
} // namespace X11Display
