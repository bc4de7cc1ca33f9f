#include "platform/WlrKeyboard.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>

namespace
{

// evdev key codes (the X11 and xkb key code is 8 more).
constexpr int leftShift = 42, leftControl = 29, leftAlt = 56, leftMeta = 125;
constexpr int firstSpareKeycode = 200;
// The letters a to z on a standard PC keyboard.
constexpr int letterKeycodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                    49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
constexpr int xkbOffset = 8;
// The bits of Shift, Control, Mod1 (Alt) and Mod4 (Super) in xkb's modifier masks: the real modifiers in order.
constexpr uint32_t shiftMask = 1U << 0, controlMask = 1U << 2, altMask = 1U << 3, superMask = 1U << 6;

struct Modifier
{
    Keys::Modifiers modifier;
    int keycode;
    uint32_t mask;
};
constexpr Modifier modifierKeys[] = {{Keys::control, leftControl, controlMask},
                                     {Keys::shift, leftShift, shiftMask},
                                     {Keys::alt, leftAlt, altMask},
                                     {Keys::super, leftMeta, superMask}};

bool isLetter(Keys::Keysym key)
{
    return key >= 'a' && key <= 'z';
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
    addModifier(leftShift, "Shift_L", "Shift");
    addModifier(leftControl, "Control_L", "Control");
    addModifier(leftAlt, "Alt_L", "Mod1");
    addModifier(leftMeta, "Super_L", "Mod4");
    for (char letter = 'a'; letter <= 'z'; ++letter)
        addKey(letterKeycodes[letter - 'a'], QByteArray(1, letter) + ", " + QByteArray(1, char(letter - 'a' + 'A')));
    for (size_t index = 0; index < spares.size(); ++index)
        addKey(firstSpareKeycode + static_cast<int>(index), "0x" + QByteArray::number(spares[index], 16));
    return "xkb_keymap {\n" + codes + "};\nxkb_types \"tolvan\" { include \"complete\" };\n" +
           "xkb_compatibility \"tolvan\" { include \"complete\" };\n" + symbols + "};\n};\n";
}

int WlrKeyboard::keycode(Keys::Keysym key, const std::vector<Keys::Keysym>& spares)
{
    if (isLetter(key))
        return letterKeycodes[key - 'a'];
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
    for (const Modifier& modifier : modifierKeys) {
        if (modifiers & modifier.modifier) {
            send(modifier.keycode, true);
            mask |= modifier.mask;
        }
    }
    zwp_virtual_keyboard_v1_modifiers(keyboard_, mask, 0, 0, 0);
    send(keycode(key, spares_), true);
    wl_display_flush(display_);
    std::this_thread::sleep_for(std::chrono::milliseconds(pressMs));
    send(keycode(key, spares_), false);
    for (const Modifier& modifier : modifierKeys) {
        if (modifiers & modifier.modifier)
            send(modifier.keycode, false);
    }
    zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    wl_display_flush(display_);
    return true;
}
