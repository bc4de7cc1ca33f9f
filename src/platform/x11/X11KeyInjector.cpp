#include "platform/x11/X11KeyInjector.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ErrorTrap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <memory>
#include <thread>

namespace
{

constexpr auto pressDuration = std::chrono::milliseconds(25);
constexpr auto modifierPollInterval = std::chrono::milliseconds(5);

bool hasXTest(Display* display)
{
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
}

// Where a letter sits on a standard PC keyboard (evdev key code + 8), for layouts without Latin letters.
KeyCode pcKeyboardKeycode(Keys::Keysym key)
{
    switch (key) {
    case Keys::c:
        return 54;
    case Keys::v:
        return 55;
    default:
        return 0;
    }
}

KeyCode keycodeFor(Display* display, Keys::Keysym key)
{
    const KeyCode code = XKeysymToKeycode(display, key);
    return code != 0 ? code : pcKeyboardKeycode(key);
}

std::vector<KeyCode> modifierKeycodes(Display* display, Keys::Modifiers modifiers)
{
    std::vector<KeyCode> codes;
    const std::pair<Keys::Modifiers, KeySym> keys[] = {
        {Keys::control, XK_Control_L}, {Keys::shift, XK_Shift_L}, {Keys::alt, XK_Alt_L}, {Keys::super, XK_Super_L}};
    for (const auto& [modifier, keysym] : keys) {
        if (modifiers & modifier) {
            if (const KeyCode code = XKeysymToKeycode(display, keysym))
                codes.push_back(code);
        }
    }
    return codes;
}

bool anyModifierHeld(Display* display, const XModifierKeymap* map)
{
    char keys[32];
    XQueryKeymap(display, keys);
    for (int index = 0; index < 8 * map->max_keypermod; ++index) {
        const KeyCode code = map->modifiermap[index];
        if (code != 0 && (keys[code / 8] & (1 << (code % 8))))
            return true;
    }
    return false;
}

} // namespace

namespace X11KeyInjector
{

bool isAvailable()
{
    const X11Connection::Connection display = X11Connection::open();
    return display && hasXTest(display.get());
}

bool waitForModifiersReleased(int timeoutMs)
{
    const X11Connection::Connection display = X11Connection::open();
    if (!display)
        return true;
    XModifierKeymap* map = XGetModifierMapping(display.get());
    if (!map)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool held = anyModifierHeld(display.get(), map);
    while (held && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(modifierPollInterval);
        held = anyModifierHeld(display.get(), map);
    }
    XFreeModifiermap(map);
    return !held;
}

bool postKey(Keys::Keysym key, Keys::Modifiers modifiers)
{
    const X11Connection::Connection display = X11Connection::open();
    if (!display || !hasXTest(display.get()))
        return false;
    Display* d = display.get();
    const KeyCode code = keycodeFor(d, key);
    if (code == 0)
        return false;
    const std::vector<KeyCode> held = modifierKeycodes(d, modifiers);
    for (const KeyCode modifier : held)
        XTestFakeKeyEvent(d, modifier, True, CurrentTime);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(pressDuration);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    for (auto modifier = held.rbegin(); modifier != held.rend(); ++modifier)
        XTestFakeKeyEvent(d, *modifier, False, CurrentTime);
    XSync(d, False);
    return true;
}

QStringList focusedWindowClass()
{
    const X11Connection::Connection display = X11Connection::open();
    if (!display)
        return {};
    Display* d = display.get();
    X11ErrorTrap trap(d);
    Window window = None;
    int revert = 0;
    XGetInputFocus(d, &window, &revert);
    const Window root = DefaultRootWindow(d);
    while (window != None && window != PointerRoot && window != root) {
        XClassHint hint{};
        if (XGetClassHint(d, window, &hint)) {
            QStringList names{QString::fromLocal8Bit(hint.res_name), QString::fromLocal8Bit(hint.res_class)};
            XFree(hint.res_name);
            XFree(hint.res_class);
            return names;
        }
        Window rootReturn = None, parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(d, window, &rootReturn, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        window = parent;
    }
    return {};
}

} // namespace X11KeyInjector
