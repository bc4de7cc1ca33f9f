#include "platform/wayland/KwinFakeKeyboard.h"

#include "fake-input-client-protocol.h"
#include "platform/PcKeys.h"

#include <chrono>
#include <thread>
#include <wayland-client.h>

KwinFakeKeyboard::KwinFakeKeyboard(wl_display* display, org_kde_kwin_fake_input* input)
    : display_(display), input_(input)
{
    // The protocol asks who types and why.
    org_kde_kwin_fake_input_authenticate(input_, "Толван", "Вставка продиктованного текста (Ctrl+V)");
}

KwinFakeKeyboard::~KwinFakeKeyboard()
{
    // The protocol has no request that ends it: the object only goes on our side.
    org_kde_kwin_fake_input_destroy(input_);
}

void KwinFakeKeyboard::send(int keycode, bool pressed)
{
    org_kde_kwin_fake_input_keyboard_key(input_, static_cast<uint32_t>(keycode),
                                         pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

bool KwinFakeKeyboard::post(Keys::Keysym key, Keys::Modifiers modifiers, int pressMs)
{
    const int keycode = PcKeys::letterKeycode(key);
    if (keycode == 0)
        return false;
    for (const auto& modifier : PcKeys::modifiers) {
        if (modifiers & modifier.modifier)
            send(modifier.keycode, true);
    }
    send(keycode, true);
    wl_display_flush(display_);
    std::this_thread::sleep_for(std::chrono::milliseconds(pressMs));
    send(keycode, false);
    for (const auto& modifier : PcKeys::modifiers) {
        if (modifiers & modifier.modifier)
            send(modifier.keycode, false);
    }
    wl_display_flush(display_);
    return true;
}
