#pragma once

#include "platform/Keys.h"

// Where keys sit on a standard PC keyboard, as evdev key codes (the X11 and xkb key code is 8 more): for keyboards of
// the seat that type by key position, where programs matching shortcuts by position find them.
namespace PcKeys
{
inline constexpr int leftShift = 42, leftControl = 29, leftAlt = 56, leftMeta = 125;

// The modifiers in the order they are pressed.
inline constexpr struct
{
    Keys::Modifiers modifier;
    int keycode;
} modifiers[] = {{Keys::control, leftControl}, {Keys::shift, leftShift}, {Keys::alt, leftAlt}, {Keys::super, leftMeta}};

inline bool isLetter(Keys::Keysym key)
{
    return key >= 'a' && key <= 'z';
}

// The key code of a Latin letter a to z; 0 for any other key.
inline int letterKeycode(Keys::Keysym key)
{
    constexpr int letters[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                 49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
    return isLetter(key) ? letters[key - 'a'] : 0;
}
} // namespace PcKeys
