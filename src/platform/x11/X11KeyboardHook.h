#pragma once

#include "platform/KeyboardHook.h"

#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;
typedef struct _XDisplay Display;

// The keyboard hook of an X11 session: XInput 2.2 raw key events on the root window observe every key
// (grabbed ones too) without taking it; XGrabKey on the root window swallows the grabbed combinations,
// with every combination of Caps Lock, Num Lock and Scroll Lock. Keys posted through XTEST come from the
// XTEST slave keyboard and are marked synthetic; TOLVAN_TEST_XTEST_AS_HARDWARE=1 (for tests under a
// virtual X server, where every key is posted) marks them as typed.
class X11KeyboardHook : public QObject, public KeyboardHook
{
public:
    X11KeyboardHook();
    ~X11KeyboardHook() override;

    bool start() override;
    bool isStarted() const override { return display_ != nullptr; }
    std::vector<Keys::Combination> setGrabs(const std::vector<Keys::Combination>& combinations) override;
    bool rightAltIsAltGr() const override;

private:
    struct ModifierMasks
    {
        unsigned shift = 0, control = 0, alt = 0, super = 0, numLock = 0, scrollLock = 0;
    };

    // A combination as the server knows it: what was grabbed is what gets released.
    struct Grab
    {
        Keys::Combination combination;
        unsigned keycode = 0;
        unsigned modifiers = 0;
        std::vector<unsigned> lockVariants;

        bool sameKeys(const Grab& other) const
        {
            return keycode == other.keycode && modifiers == other.modifiers && lockVariants == other.lockVariants;
        }
    };

    void readModifierMasks();
    void findXTestDevices();
    void processEvents();
    void handleRawKey(void* rawEvent, bool pressed);
    void handleKeyPress(unsigned keycode, unsigned state);
    unsigned nativeModifiers(Keys::Modifiers modifiers) const;
    std::vector<unsigned> lockVariants() const;
    Grab nativeGrab(const Keys::Combination& combination) const;
    bool grab(const Grab& grab);
    void ungrab(const Grab& grab);
    void keymapChanged();

    Display* display_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    int xinputOpcode_ = 0;
    bool xtestAsHardware_ = false;
    std::vector<int> xtestDevices_;
    ModifierMasks masks_;
    std::vector<Grab> grabs_;
};
