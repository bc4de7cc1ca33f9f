#include "platform/wayland/WlrKeyboard.h"

#include "platform/PcKeys.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>

namespace
{

constexpr int firstSpareKeycode = 200;
constexpr int xkbOffset = 8;
// The bits of Shift, Control, Mod1 (Alt) and Mod4 (Super) in xkb's modifier masks: the real modifiers in order.
constexpr uint32_t shiftMask = 1U << 0, controlMask = 1U << 2, altMask = 1U << 3, superMask = 1U << 6;

uint32_t maskOf(Keys::Modifiers modifier)
{
    switch (modifier) {
    case Keys::shift:
        return shiftMask;
    case Keys::control:
        return controlMask;
    case Keys::alt:
        return altMask;
    default:
        return superMask;
    }
}

uint32_t timestampMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// A file holding the keymap, for handing it to the compositor.
int keymapFile(const QByteArray& keymap)
{
    const int fd = memfd_create("tolvan-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    if (write(fd, keymap.constData(), static_cast<size_t>(keymap.size() + 1)) != keymap.size() + 1) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

WlrKeyboard::WlrKeyboard(wl_display* display, zwp_virtual_keyboard_v1* keyboard)
    : display_(display), keyboard_(keyboard)
{
    // The keymap goes ahead of the first keystroke: a window that gets a new keymap together with a key may
    // miss that key.
    ensureKeymapHolds('a');
}

WlrKeyboard::~WlrKeyboard()
{
    zwp_virtual_keyboard_v1_destroy(keyboard_);
}

QByteArray WlrKeyboard::keymap(const std::vector<Keys::Keysym>& spares)
{
    QByteArray codes = "xkb_keycodes \"tolvan\" {\n minimum = 8;\n maximum = 255;\n";
    QByteArray symbols = "xkb_symbols \"tolvan\" {\n";
    const auto addKey = [&](int keycode, const QByteArray& levels) {
        const QByteArray name = "<K" + QByteArray::number(keycode) + ">";
        codes += " " + name + " = " + QByteArray::number(keycode + xkbOffset) + ";\n";
        symbols += " key " + name + " { [ " + levels + " ] };\n";
        return name;
    };
    const auto addModifier = [&](int keycode, const char* keysym, const char* modifier) {
        const QByteArray name = addKey(keycode, keysym);
        symbols += " modifier_map " + QByteArray(modifier) + " { " + name + " };\n";
    };
    addModifier(PcKeys::leftShift, "Shift_L", "Shift");
    addModifier(PcKeys::leftControl, "Control_L", "Control");
    addModifier(PcKeys::leftAlt, "Alt_L", "Mod1");
    addModifier(PcKeys::leftMeta, "Super_L", "Mod4");
    for (char letter = 'a'; letter <= 'z'; ++letter)
        addKey(PcKeys::letterKeycode(letter), QByteArray(1, letter) + ", " + QByteArray(1, char(letter - 'a' + 'A')));
    for (size_t index = 0; index < spares.size(); ++index)
        addKey(firstSpareKeycode + static_cast<int>(index), "0x" + QByteArray::number(spares[index], 16));
    return "xkb_keymap {\n" + codes + "};\nxkb_types \"tolvan\" { include \"complete\" };\n" +
           "xkb_compatibility \"tolvan\" { include \"complete\" };\n" + symbols + "};\n};\n";
}

int WlrKeyboard::keycode(Keys::Keysym key, const std::vector<Keys::Keysym>& spares)
{
    if (PcKeys::isLetter(key))
        return PcKeys::letterKeycode(key);
    const auto spare = std::find(spares.begin(), spares.end(), key);
    return spare == spares.end() ? 0 : firstSpareKeycode + static_cast<int>(spare - spares.begin());
}

bool WlrKeyboard::ensureKeymapHolds(Keys::Keysym key)
{
    if (keymapSent_ && keycode(key, spares_) != 0)
        return true;
    if (keycode(key, spares_) == 0)
        spares_.push_back(key);
    const QByteArray text = keymap(spares_);
    const int fd = keymapFile(text);
    if (fd < 0)
        return false;
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(text.size() + 1));
    close(fd);
    keymapSent_ = true;
    return true;
}

void WlrKeyboard::send(int keycode, bool pressed)
{
    zwp_virtual_keyboard_v1_key(keyboard_, timestampMs(), static_cast<uint32_t>(keycode),
                                pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

bool WlrKeyboard::post(Keys::Keysym key, Keys::Modifiers modifiers, int pressMs)
{
    if (!ensureKeymapHolds(key))
        return false;
    uint32_t mask = 0;
    for (const auto& modifier : PcKeys::modifiers) {
        if (modifiers & modifier.modifier) {
            send(modifier.keycode, true);
            mask |= maskOf(modifier.modifier);
        }
    }
    zwp_virtual_keyboard_v1_modifiers(keyboard_, mask, 0, 0, 0);
    send(keycode(key, spares_), true);
    wl_display_flush(display_);
    std::this_thread::sleep_for(std::chrono::milliseconds(pressMs));
    send(keycode(key, spares_), false);
    for (const auto& modifier : PcKeys::modifiers) {
        if (modifiers & modifier.modifier)
            send(modifier.keycode, false);
    }
    zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    wl_display_flush(display_);
    return true;
}
