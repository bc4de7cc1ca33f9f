#include "platform/x11/X11KeyboardHook.h"

#include "platform/x11/X11ErrorTrap.h"

#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstring>

namespace
{

// The modifier bit (ShiftMask … Mod5Mask) that one of these keys is mapped to; 0 when none is.
unsigned maskOfKeys(Display* display, XModifierKeymap* map, std::initializer_list<KeySym> keysyms)
{
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int index = 0; index < map->max_keypermod; ++index) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + index];
            if (code == 0)
                continue;
            const KeySym keysym = XkbKeycodeToKeysym(display, code, 0, 0);
            if (std::find(keysyms.begin(), keysyms.end(), keysym) != keysyms.end())
                return 1U << modifier;
        }
    }
    return 0;
}

bool isModifierKeysym(KeySym keysym)
{
    return IsModifierKey(keysym) || keysym == XK_Caps_Lock || keysym == XK_Shift_Lock || keysym == XK_Scroll_Lock;
}

} // namespace

std::unique_ptr<KeyboardHook> KeyboardHook::createDefault()
{
    return std::make_unique<X11KeyboardHook>();
}

X11KeyboardHook::X11KeyboardHook() = default;

X11KeyboardHook::~X11KeyboardHook()
{
    if (!display_)
        return;
    delete notifier_;
    setGrabs({});
    XCloseDisplay(display_);
    display_ = nullptr;
}

bool X11KeyboardHook::start()
{
    if (display_)
        return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    int opcode = 0;
    int xiMajor = 2, xiMinor = 2;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor) ||
        !XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(display, &xiMajor, &xiMinor) != Success || xiMajor * 100 + xiMinor < 202) {
        XCloseDisplay(display);
        return false;
    }
    display_ = display;
    xinputOpcode_ = opcode;
    xtestAsHardware_ = qEnvironmentVariable("TOLVAN_TEST_XTEST_AS_HARDWARE") == QLatin1String("1");

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    unsigned char hierarchyBits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(hierarchyBits, XI_HierarchyChanged);
    XIEventMask hierarchyMask{XIAllDevices, sizeof(hierarchyBits), hierarchyBits};
    XISelectEvents(display_, DefaultRootWindow(display_), &hierarchyMask, 1);
    readModifierMasks();
    findXTestDevices();
    XSync(display_, False);

    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11KeyboardHook::processEvents);
    processEvents();
    return true;
}

void X11KeyboardHook::readModifierMasks()
{
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (!map)
        return;
    masks_.shift = ShiftMask;
    masks_.control = ControlMask;
    masks_.alt = maskOfKeys(display_, map, {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R});
    masks_.super = maskOfKeys(display_, map, {XK_Super_L, XK_Super_R});
    masks_.numLock = maskOfKeys(display_, map, {XK_Num_Lock});
    masks_.scrollLock = maskOfKeys(display_, map, {XK_Scroll_Lock});
    if (!masks_.alt)
        masks_.alt = Mod1Mask;
    if (!masks_.super)
        masks_.super = Mod4Mask;
    XFreeModifiermap(map);
}

void X11KeyboardHook::findXTestDevices()
{
    xtestDevices_.clear();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display_, XIAllDevices, &count);
    for (int index = 0; index < count; ++index) {
        if (devices[index].use == XISlaveKeyboard && std::strstr(devices[index].name, "XTEST"))
            xtestDevices_.push_back(devices[index].deviceid);
    }
    XIFreeDeviceInfo(devices);
}

void X11KeyboardHook::processEvents()
{
    while (display_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == KeyPress) {
            handleKeyPress(event.xkey.keycode, event.xkey.state);
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            keymapChanged();
        } else if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_ &&
                   XGetEventData(display_, &event.xcookie)) {
            if (event.xcookie.evtype == XI_RawKeyPress || event.xcookie.evtype == XI_RawKeyRelease)
                handleRawKey(event.xcookie.data, event.xcookie.evtype == XI_RawKeyPress);
            else if (event.xcookie.evtype == XI_HierarchyChanged)
                findXTestDevices();
            XFreeEventData(display_, &event.xcookie);
        }
    }
}

void X11KeyboardHook::handleRawKey(void* rawEvent, bool pressed)
{
    const auto* raw = static_cast<const XIRawEvent*>(rawEvent);
    KeyEvent key;
    key.key = static_cast<Keys::Keysym>(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(raw->detail), 0, 0));
    key.pressed = pressed;
    key.synthetic = !xtestAsHardware_ &&
                    std::find(xtestDevices_.begin(), xtestDevices_.end(), raw->sourceid) != xtestDevices_.end();
    key.modifierKey = isModifierKeysym(key.key);
    if (onKey)
        onKey(key);
}

void X11KeyboardHook::handleKeyPress(unsigned keycode, unsigned state)
{
    const unsigned relevant = masks_.shift | masks_.control | masks_.alt | masks_.super;
    for (const Grab& held : grabs_) {
        if (held.keycode == keycode && held.modifiers == (state & relevant)) {
            const Keys::Combination pressed = held.combination;
            if (onCombination)
                onCombination(pressed);
            return;
        }
    }
}

unsigned X11KeyboardHook::nativeModifiers(Keys::Modifiers modifiers) const
{
    unsigned native = 0;
    if (modifiers & Keys::shift)
        native |= masks_.shift;
    if (modifiers & Keys::control)
        native |= masks_.control;
    if (modifiers & Keys::alt)
        native |= masks_.alt;
    if (modifiers & Keys::super)
        native |= masks_.super;
    return native;
}

std::vector<unsigned> X11KeyboardHook::lockVariants() const
{
    std::vector<unsigned> variants{0};
    for (const unsigned lock : {static_cast<unsigned>(LockMask), masks_.numLock, masks_.scrollLock}) {
        if (lock == 0)
            continue;
        const std::size_t count = variants.size();
        for (std::size_t index = 0; index < count; ++index)
            variants.push_back(variants[index] | lock);
    }
    return variants;
}

X11KeyboardHook::Grab X11KeyboardHook::nativeGrab(const Keys::Combination& combination) const
{
    return Grab{combination, XKeysymToKeycode(display_, combination.key), nativeModifiers(combination.modifiers),
                lockVariants()};
}

bool X11KeyboardHook::grab(const Grab& grab)
{
    if (grab.keycode == 0)
        return false;
    X11ErrorTrap trap(display_);
    for (const unsigned lock : grab.lockVariants)
        XGrabKey(display_, static_cast<int>(grab.keycode), grab.modifiers | lock, DefaultRootWindow(display_), False,
                 GrabModeAsync, GrabModeAsync);
    // One round trip for all the variants (Esc alone takes sixteen combinations while recording): a refusal
    // of any of them gives the whole combination back.
    if (trap.takeError() == 0)
        return true;
    ungrab(grab);
    return false;
}

void X11KeyboardHook::ungrab(const Grab& grab)
{
    if (grab.keycode == 0)
        return;
    X11ErrorTrap trap(display_);
    for (const unsigned lock : grab.lockVariants)
        XUngrabKey(display_, static_cast<int>(grab.keycode), grab.modifiers | lock, DefaultRootWindow(display_));
    trap.takeError();
}

// Keys or modifiers may sit elsewhere now. Combinations whose keys did not move keep their grab, so that no
// press slips through while the keymap changes.
void X11KeyboardHook::keymapChanged()
{
    readModifierMasks();
    std::vector<Grab> kept;
    for (const Grab& held : grabs_) {
        const Grab fresh = nativeGrab(held.combination);
        if (fresh.sameKeys(held)) {
            kept.push_back(held);
            continue;
        }
        ungrab(held);
        if (grab(fresh))
            kept.push_back(fresh);
    }
    grabs_ = std::move(kept);
}

bool X11KeyboardHook::rightAltIsAltGr() const
{
    // The right Alt key's code in the evdev keymap that X servers on Linux use (<RALT>), read as key events are.
    constexpr KeyCode rightAltKey = 108;
    return display_ && XkbKeycodeToKeysym(display_, rightAltKey, 0, 0) == XK_ISO_Level3_Shift;
}

std::vector<Keys::Combination> X11KeyboardHook::setGrabs(const std::vector<Keys::Combination>& combinations)
{
    std::vector<Keys::Combination> refused;
    if (!display_)
        return refused;
    std::vector<Grab> kept;
    for (const Grab& held : grabs_) {
        if (std::find(combinations.begin(), combinations.end(), held.combination) != combinations.end())
            kept.push_back(held);
        else
            ungrab(held);
    }
    grabs_ = std::move(kept);
    for (const Keys::Combination& wanted : combinations) {
        const bool held =
            std::any_of(grabs_.begin(), grabs_.end(), [&](const Grab& grab) { return grab.combination == wanted; });
        if (held)
            continue;
        const Grab fresh = nativeGrab(wanted);
        if (grab(fresh))
            grabs_.push_back(fresh);
        else
            refused.push_back(wanted);
    }
    // Waiting for the server's answers may have queued events the socket notifier will not announce.
    QMetaObject::invokeMethod(this, &X11KeyboardHook::processEvents, Qt::QueuedConnection);
    return refused;
}
