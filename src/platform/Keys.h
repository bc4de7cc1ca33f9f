#pragma once

#include <cstdint>

// Keys and modifiers as the platform layer and the components exchange them. Keys are named by their xkb
// keysyms, the numbers X11 and Wayland share; modifiers are our own bit set.
namespace Keys
{
using Keysym = std::uint32_t;

inline constexpr Keysym space = 0x0020;
inline constexpr Keysym c = 0x0063;
inline constexpr Keysym v = 0x0076;
inline constexpr Keysym returnKey = 0xff0d;
inline constexpr Keysym keypadEnter = 0xff8d;
inline constexpr Keysym escape = 0xff1b;
inline constexpr Keysym insert = 0xff63;
inline constexpr Keysym f6 = 0xffc3;
inline constexpr Keysym rightAlt = 0xffea;
// What the right Alt key sends on layouts where it is AltGr.
inline constexpr Keysym isoLevel3Shift = 0xfe03;
inline constexpr Keysym rightControl = 0xffe4;

using Modifiers = unsigned;
inline constexpr Modifiers none = 0;
inline constexpr Modifiers shift = 1U << 0;
inline constexpr Modifiers control = 1U << 1;
inline constexpr Modifiers alt = 1U << 2;
inline constexpr Modifiers super = 1U << 3;

// A key together with exactly these modifiers held.
struct Combination
{
    Keysym key = 0;
    Modifiers modifiers = none;

    bool operator==(const Combination&) const = default;
};
} // namespace Keys
