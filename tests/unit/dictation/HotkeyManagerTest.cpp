#include "dictation/HotkeyManager.h"

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "platform/KeyInjector.h"

#include <QFile>
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
    bool startable = true, started = false;
    Combos grabs, ownedByOthers;

    bool start() override { return started = startable; }
    bool isStarted() const override { return started; }
    Combos setGrabs(const Combos& combinations) override
    {
        Combos refused;
        grabs.clear();
        for (const auto& combination : combinations)
            (has(ownedByOthers, combination) ? refused : grabs).push_back(combination);
        return refused;
    }
    static bool has(const Combos& list, Keys::Combination combination)
    {
        return std::find(list.begin(), list.end(), combination) != list.end();
    }
};

const Keys::Combination superShiftSpace{Keys::space, Keys::super | Keys::shift}, altSpace{Keys::space, Keys::alt},
    enter{Keys::returnKey, Keys::none}, keypadEnter{Keys::keypadEnter, Keys::none}, escape{Keys::escape, Keys::none},
    learn{Keys::space, Keys::control | Keys::shift};
constexpr Keys::Keysym leftShift = 0xffe1, leftControl = 0xffe3;

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

    void start() { ASSERT_TRUE(manager.startIfPossible()); }
    bool grabbed(Keys::Combination combination) const { return FakeHook::has(hook->grabs, combination); }

    // What the hook reports for a key typed on the keyboard (or posted, when synthetic).
    void key(Keys::Keysym keysym, bool pressed, bool synthetic = false)
    {
        hook->onKey(KeyboardHook::KeyEvent{keysym, pressed, synthetic, keysym >= 0xffe1 && keysym <= 0xffee});
    }

    // Presses of combinations: each key is observed; when grabbed, the combination is delivered too.
    void press(std::initializer_list<Keys::Combination> combinations)
    {
        for (const auto& combination : combinations) {
            key(combination.key, true);
            if (grabbed(combination))
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

TEST_F(HotkeyManagerTest, GrabsOnlyWhatActsInTheCurrentState)
{
    EXPECT_FALSE(manager.isActive());
    start();
    EXPECT_EQ(hook->grabs, (Combos{superShiftSpace, learn}));
    press({superShiftSpace});
    EXPECT_EQ(calls, (Calls{"typing", "toggle"}));
    // The toggle started a recording: Enter and Esc (with any modifiers) act now, learning does not.
    Combos whileRecording{superShiftSpace, enter, keypadEnter};
    for (Keys::Modifiers held = Keys::none; held <= (Keys::shift | Keys::control | Keys::alt | Keys::super); ++held)
        whileRecording.push_back({Keys::escape, held});
    EXPECT_EQ(hook->grabs, whileRecording);
    calls.clear();
    press({keypadEnter, enter, escape, learn});
    EXPECT_EQ(calls, (Calls{"done", "done", "cancel"}));

    // A recording that ends elsewhere: the owner refreshes, and Enter/Esc reach applications again.
    recording = false;
    manager.refreshGrabs();
    calls.clear();
    press({enter, escape, learn});
    EXPECT_FALSE(grabbed(enter));
    EXPECT_EQ(calls, (Calls{"typing", "typing", "typing", "learn"}));
}

TEST_F(HotkeyManagerTest, ToggleFollowsThePresetSettingAndMatchesItsModifiersExactly)
{
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("optSpace"));
    start();
    EXPECT_TRUE(grabbed(altSpace));
    EXPECT_FALSE(grabbed(superShiftSpace));
    // Super+Alt+Space is not grabbed, so it passes through; should it arrive, it is not ours either.
    hook->onCombination({Keys::space, Keys::alt | Keys::super});
    EXPECT_TRUE(calls.empty());
    press({altSpace});
    EXPECT_EQ(calls.back(), "toggle");

    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("off"));
    manager.refreshGrabs();
    EXPECT_FALSE(grabbed(altSpace));
    EXPECT_EQ(hook->grabs.size(), 18U) << "only Enter, keypad Enter and the 16 Esc of the running recording";
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("unknown"));
    EXPECT_EQ(HotkeyManager::activePreset(), nullptr);
}

TEST_F(HotkeyManagerTest, OnlyALongLoneHoldOfRightAltIsPushToTalk)
{
    const int longHold = HotkeyManager::holdDelayMs + 200;
    start();
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

TEST_F(HotkeyManagerTest, TypingNoticeOnlyForTypedKeysWhileNotRecording)
{
    start();
    key('x', true, /*synthetic=*/true);
    key(leftControl, true);
    EXPECT_TRUE(calls.empty()) << "posted keys and lone modifiers are not typing";
    key('x', true);
    EXPECT_EQ(calls, Calls{"typing"});
    key('x', false);
    recording = true;
    key('y', true);
    EXPECT_EQ(calls.size(), 1U);
}

TEST_F(HotkeyManagerTest, CombinationOwnedByAnotherProgramIsReportedAndTheRestWorks)
{
    hook->ownedByOthers = {superShiftSpace};
    start();
    EXPECT_EQ(manager.unavailableShortcuts(), QStringList{QStringLiteral("Super+Shift+Пробел")});
    QFile log(Paths::logDir() + QStringLiteral("/app.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Горячие клавиши активны")));
    EXPECT_EQ(text.count(QStringLiteral("Сочетание занято другой программой: Super+Shift+Пробел")), 1);
    manager.refreshGrabs();
    press({learn});
    EXPECT_EQ(calls.back(), "learn");
}

TEST_F(HotkeyManagerTest, EscCancelsTheRecordingWhateverModifiersAreHeld)
{
    const Keys::Modifiers all = Keys::shift | Keys::control | Keys::alt | Keys::super;
    // Another program's Ctrl+Alt+Esc stays its own and is not worth a notice.
    hook->ownedByOthers = {{Keys::escape, Keys::control | Keys::alt}};
    start();
    recording = true;
    manager.refreshGrabs();
    for (const Keys::Modifiers held : {Keys::shift, Keys::control, Keys::alt | Keys::shift, Keys::super, all}) {
        calls.clear();
        press({{Keys::escape, held}});
        EXPECT_EQ(calls, Calls{"cancel"}) << held;
    }
    EXPECT_TRUE(manager.unavailableShortcuts().isEmpty());

    // Not recording: every Esc belongs to the applications.
    recording = false;
    manager.refreshGrabs();
    EXPECT_TRUE(std::none_of(hook->grabs.begin(), hook->grabs.end(),
                             [](const Keys::Combination& grab) { return grab.key == Keys::escape; }));
}

TEST_F(HotkeyManagerTest, StartFailsWithoutADisplayAndSucceedsLater)
{
    hook->startable = false;
    EXPECT_FALSE(manager.startIfPossible());
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(hook->grabs.empty());
    hook->startable = true;
    EXPECT_TRUE(manager.startIfPossible());
    EXPECT_TRUE(manager.startIfPossible());
    EXPECT_TRUE(grabbed(superShiftSpace));
}

TEST(HotkeysWithoutDisplay, NothingIsHookedOrPosted)
{
    HotkeyManager manager;
    EXPECT_FALSE(manager.startIfPossible());
    EXPECT_FALSE(manager.isActive());
    EXPECT_FALSE(KeyInjector::isAvailable());
    EXPECT_FALSE(KeyInjector::postKey(Keys::v, Keys::control));
    EXPECT_TRUE(KeyInjector::focusedWindowClass().isEmpty());
    EXPECT_TRUE(KeyInjector::waitForModifiersReleased(10));
}
