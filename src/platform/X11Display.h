#pragma once

// The X11 display named by DISPLAY.
namespace X11Display
{
// Whether a connection to the display can be opened right now.
bool isReachable();
} // namespace X11Display
