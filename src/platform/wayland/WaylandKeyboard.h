#pragma once

#include "platform/Keys.h"

// A keyboard of the seat that types what the route posts: wlroots' virtual keyboard, KWin's fake input. Lives on the
// WaylandThread that made it, and is used only there.
class WaylandKeyboard
{
public:
    virtual ~WaylandKeyboard() = default;

    // Presses the modifiers, the key (held for pressMs), and releases them all; false when the key cannot be typed.
    virtual bool post(Keys::Keysym key, Keys::Modifiers modifiers, int pressMs) = 0;
};
