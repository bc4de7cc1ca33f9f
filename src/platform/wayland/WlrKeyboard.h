#pragma once

#include "platform/wayland/WaylandKeyboard.h"

#include <QByteArray>

#include <vector>

struct wl_display;
struct zwp_virtual_keyboard_v1;

// Keystrokes through a wlroots virtual keyboard with a keymap of our own: the modifiers and the Latin letters
// on their standard PC keys (programs that match shortcuts by key position find them there), any other key on
// a spare key code.
class WlrKeyboard : public WaylandKeyboard
{
public:
    WlrKeyboard(wl_display* display, zwp_virtual_keyboard_v1* keyboard);
    ~WlrKeyboard() override;
    WlrKeyboard(const WlrKeyboard&) = delete;
    WlrKeyboard& operator=(const WlrKeyboard&) = delete;

    // False when the keymap could not be handed over.
    bool post(Keys::Keysym key, Keys::Modifiers modifiers, int pressMs) override;

    // The keymap (xkb text format) holding the letters, the modifiers and these further keys, from key code
    // firstSpareKeycode on.
    static QByteArray keymap(const std::vector<Keys::Keysym>& spares);
    // The evdev key code of a key in keymap(spares); 0 when it holds none.
    static int keycode(Keys::Keysym key, const std::vector<Keys::Keysym>& spares);

private:
    bool ensureKeymapHolds(Keys::Keysym key);
    void send(int keycode, bool pressed);

    wl_display* display_;
    zwp_virtual_keyboard_v1* keyboard_;
    std::vector<Keys::Keysym> spares_;
    bool keymapSent_ = false;
};
