#pragma once

#include "platform/wayland/WaylandKeyboard.h"

struct wl_display;
struct org_kde_kwin_fake_input;

// Keystrokes through KWin's fake-input protocol: key codes of a standard PC keyboard, which KWin reads with the seat's
// own keymap (so Ctrl+V stays Ctrl+V on a Russian layout). Only the modifiers and the Latin letters can be typed.
class KwinFakeKeyboard : public WaylandKeyboard
{
public:
    KwinFakeKeyboard(wl_display* display, org_kde_kwin_fake_input* input);
    ~KwinFakeKeyboard() override;
    KwinFakeKeyboard(const KwinFakeKeyboard&) = delete;
    KwinFakeKeyboard& operator=(const KwinFakeKeyboard&) = delete;

    bool post(Keys::Keysym key, Keys::Modifiers modifiers, int pressMs) override;

private:
    void send(int keycode, bool pressed);

    wl_display* display_;
    org_kde_kwin_fake_input* input_;
};
