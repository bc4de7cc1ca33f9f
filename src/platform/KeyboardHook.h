#pragma once

#include "platform/Keys.h"

#include <functional>
#include <memory>
#include <vector>

// The session's keyboard, globally: observes every key press and release without taking it from anyone,
// and swallows the few combinations it is told to grab. Lives on the main thread; the handlers run there.
class KeyboardHook
{
public:
    struct KeyEvent
    {
        Keys::Keysym key = 0;
        bool pressed = false;
        // Posted by a program (XTEST) rather than typed on a keyboard.
        bool synthetic = false;
        // Shift, Ctrl, Alt, Super, AltGr, the lock keys.
        bool modifierKey = false;
    };

    // The hook of the running display server; never null.
    static std::unique_ptr<KeyboardHook> createDefault();

    virtual ~KeyboardHook() = default;

    // Connects to the display server; false when no usable display (with XTEST and XInput 2.2) exists.
    virtual bool start() = 0;
    virtual bool isStarted() const = 0;
    // Whether the layout in use makes the right Alt key AltGr (ISO_Level3_Shift): the key of «», — and the like on
    // typographic layouts.
    virtual bool rightAltIsAltGr() const { return false; }
    // From now on swallows exactly these combinations (ignoring Caps Lock, Num Lock and Scroll Lock).
    // Answers those another program already owns; they are not delivered.
    virtual std::vector<Keys::Combination> setGrabs(const std::vector<Keys::Combination>& combinations) = 0;

    // Every key of the session, grabbed ones included.
    std::function<void(const KeyEvent&)> onKey;
    // A press of a grabbed combination.
    std::function<void(const Keys::Combination&)> onCombination;
};
