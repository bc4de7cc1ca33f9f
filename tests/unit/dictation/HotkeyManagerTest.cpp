#include "dictation/HotkeyManager.h"

#include "core/SettingsStore.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

using Calls = std::vector<std::string>;
using Combos = std::vector<Keys::Combination>;

// A keyboard driven by the test: it grants what nobody else owns and delivers the keys the test types.
struct FakeHook : KeyboardHook
{
    Combos grabs, ownedByOthers;

    bool start() override { return true; }
    bool isStarted() const override { return true; }
    Combos setGrabs(const Combos& combinations) override
    {
        Combos refused;
        grabs.clear();
        for (const auto& combination : combinations)
            (std::count(ownedByOthers.begin(), ownedByOthers.end(), combination) ? refused : grabs)
                .push_back(combination);
        return refused;
    }
};

const Keys::Combination superShiftSpace{Keys::space, Keys::super | Keys::shift}, enter{Keys::returnKey, Keys::none},
    keypadEnter{Keys::keypadEnter, Keys::none}, learn{Keys::space, Keys::control | Keys::shift};
constexpr Keys::Keysym leftShift = 0xffe1;
constexpr Keys::Modifiers allModifiers = Keys::shift | Keys::control | Keys::alt | Keys::super;

class HotkeyManagerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        manager.isRecording = [this] { return recording; };
        manager.onToggle = [this] {
            calls.push_back("toggle");
            recording = !recording;
        };
        for (auto [slot, name] : {std::pair{&HotkeyManager::onPTTBegin, "pttBegin"},
                                  {&HotkeyManager::onPTTEnd, "pttEnd"},
                                  {&HotkeyManager::onCancel, "cancel"},
                                  {&HotkeyManager::onDone, "done"},
                                  {&HotkeyManager::onLearn, "learn"},
                                  {&HotkeyManager::onUserTyping, "typing"}})
            manager.*slot = [this, name] { calls.push_back(name); };
    }

    // What the hook reports for a key typed on the keyboard.
    void key(Keys::Keysym keysym, bool pressed)
    {
        hook->onKey(KeyboardHook::KeyEvent{keysym, pressed, false, keysym >= 0xffe1 && keysym <= 0xffee});
    }

    // Presses of combinations: each key is observed; when grabbed, the combination is delivered too.
    void press(std::initializer_list<Keys::Combination> combinations)
    {
        for (const auto& combination : combinations) {
            key(combination.key, true);
            if (std::count(hook->grabs.begin(), hook->grabs.end(), combination))
                hook->onCombination(combination);
            key(combination.key, false);
        }
    }

    // Holds a key for a while, doing something else meanwhile, and lets the manager settle afterwards.
    void hold(Keys::Keysym keysym, int ms, const std::function<void()>& meanwhile = {})
    {
        key(keysym, true);
        if (meanwhile)
            meanwhile();
        QTest::qWait(ms);
        key(keysym, false);
        QTest::qWait(300);
    }

    FakeHook* hook = new FakeHook;
    HotkeyManager manager{std::unique_ptr<KeyboardHook>(hook)};
    bool recording = false;
    Calls calls;
};

} // namespace

TEST_F(HotkeyManagerTest, GrabsOnlyWhatActsNowEscWithAnyModifiersButNotAnotherProgramsOwn)
{
    // Another program's Ctrl+Alt+Esc stays its own and is not worth a notice.
    hook->ownedByOthers = {{Keys::escape, Keys::control | Keys::alt}};
    ASSERT_TRUE(manager.startIfPossible());
    EXPECT_EQ(hook->grabs, (Combos{superShiftSpace, learn}));
    press({superShiftSpace});
    EXPECT_EQ(calls, (Calls{"typing", "toggle"}));
    // The toggle started a recording: Enter and Esc (with any modifiers) act now, learning does not.
    Combos whileRecording{superShiftSpace, enter, keypadEnter};
    for (Keys::Modifiers held = Keys::none; held <= allModifiers; ++held)
        if (held != (Keys::control | Keys::alt))
            whileRecording.push_back({Keys::escape, held});
    EXPECT_EQ(hook->grabs, whileRecording);
    EXPECT_TRUE(manager.unavailableShortcuts().isEmpty());
    // A recording that ends elsewhere: the owner refreshes, and Enter/Esc reach applications again.
    recording = false;
    manager.refreshGrabs();
    EXPECT_EQ(hook->grabs, (Combos{superShiftSpace, learn}));
}

TEST_F(HotkeyManagerTest, OnlyALongLoneHoldOfRightAltIsPushToTalk)
{
    const int longHold = HotkeyManager::holdDelayMs + 200;
    ASSERT_TRUE(manager.startIfPossible());
    key(Keys::rightAlt, true);
    QTest::qWait(longHold);
    EXPECT_EQ(calls, Calls{"pttBegin"}) << "begins while the key is still held";
    key(Keys::rightAlt, false);
    EXPECT_EQ(calls, (Calls{"pttBegin", "pttEnd"}));

    calls.clear();
    hold(Keys::isoLevel3Shift, longHold); // what AltGr layouts send for the same key
    hold(Keys::rightAlt, HotkeyManager::holdDelayMs - 100);
    hold(Keys::rightAlt, longHold, [&] { key(leftShift, true); }); // another modifier is not a chord
    key(leftShift, false);
    EXPECT_EQ(calls, (Calls{"pttBegin", "pttEnd", "pttBegin", "pttEnd"}));

    calls.clear();
    hold(Keys::rightAlt, longHold, [&] { press({{'a', Keys::none}}); });
    EXPECT_EQ(calls, Calls{"typing"}) << "right Alt + a letter is a chord, however long held";
    calls.clear();
    SettingsStore::shared().setBool(SettingsKey::pttEnabled, false);
    hold(Keys::rightAlt, longHold);
    SettingsStore::shared().setBool(SettingsKey::pttEnabled, true);
    recording = true;
    hold(Keys::rightAlt, longHold);
    EXPECT_TRUE(calls.empty());
}
