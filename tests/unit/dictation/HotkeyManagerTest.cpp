#include "dictation/HotkeyManager.h"

#include "app/Log.h"
#include "app/Paths.h"
#include "app/SettingsStore.h"
#include "platform/KeyInjector.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

// A keyboard driven by the test: it owns what the manager grabs and delivers the keys the test types.
class FakeHook : public KeyboardHook
{
public:
    struct Shared
    {
        bool startable = true;
        std::vector<Keys::Combination> grabs;
        std::vector<Keys::Combination> ownedByOthers;
        FakeHook* hook = nullptr;
    };

    explicit FakeHook(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) { shared_->hook = this; }

    bool start() override
    {
        started_ = shared_->startable;
        return started_;
    }
    bool isStarted() const override { return started_; }

    std::vector<Keys::Combination> setGrabs(const std::vector<Keys::Combination>& combinations) override
    {
        shared_->grabs.clear();
        std::vector<Keys::Combination> refused;
        for (const auto& combination : combinations) {
            const auto& others = shared_->ownedByOthers;
            if (std::find(others.begin(), others.end(), combination) != others.end())
                refused.push_back(combination);
            else
                shared_->grabs.push_back(combination);
        }
        return refused;
    }

private:
    std::shared_ptr<Shared> shared_;
    bool started_ = false;
};

bool isModifier(Keys::Keysym key)
{
    return key >= 0xffe1 && key <= 0xffee;
}

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
        manager.onPTTBegin = [this] { calls.push_back("pttBegin"); };
        manager.onPTTEnd = [this] { calls.push_back("pttEnd"); };
        manager.onCancel = [this] { calls.push_back("cancel"); };
        manager.onDone = [this] { calls.push_back("done"); };
        manager.onLearn = [this] { calls.push_back("learn"); };
        manager.onUserTyping = [this] { calls.push_back("typing"); };
    }

    void start() { ASSERT_TRUE(manager.startIfPossible()); }

    // What the hook reports for a key typed on the keyboard (or posted, when synthetic).
    void key(Keys::Keysym keysym, bool pressed, bool synthetic = false)
    {
        shared->hook->onKey(KeyboardHook::KeyEvent{keysym, pressed, synthetic, isModifier(keysym)});
    }

    // A press of a combination: the key is observed; when grabbed, the combination is delivered too.
    void press(Keys::Combination combination, bool synthetic = false)
    {
        key(combination.key, true, synthetic);
        if (grabbed(combination))
            shared->hook->onCombination(combination);
        key(combination.key, false, synthetic);
    }

    bool grabbed(Keys::Combination combination) const
    {
        return std::find(shared->grabs.begin(), shared->grabs.end(), combination) != shared->grabs.end();
    }

    std::shared_ptr<FakeHook::Shared> shared = std::make_shared<FakeHook::Shared>();
    HotkeyManager manager{std::make_unique<FakeHook>(shared)};
    bool recording = false;
    std::vector<std::string> calls;
};

const Keys::Combination superShiftSpace{Keys::space, Keys::super | Keys::shift};
const Keys::Combination altSpace{Keys::space, Keys::alt};
const Keys::Combination enter{Keys::returnKey, Keys::none};
const Keys::Combination keypadEnter{Keys::keypadEnter, Keys::none};
const Keys::Combination escape{Keys::escape, Keys::none};
const Keys::Combination learn{Keys::space, Keys::control | Keys::shift};

} // namespace

TEST_F(HotkeyManagerTest, PresetsCarryLinuxTitlesAndTheActiveOneFollowsTheSetting)
{
    std::vector<QString> titles;
    for (const auto& preset : HotkeyManager::presets())
        titles.push_back(preset.identifier + QLatin1Char('=') + preset.title);
    EXPECT_EQ(titles, (std::vector<QString>{QStringLiteral("cmdShiftSpace=Super+Shift+Пробел"),
                                            QStringLiteral("optSpace=Alt+Пробел"), QStringLiteral("f6=F6"),
                                            QStringLiteral("off=Выключен")}));
    EXPECT_EQ(HotkeyManager::title(HotkeyManager::learnCombination), QStringLiteral("Ctrl+Shift+Пробел"));
    EXPECT_EQ(HotkeyManager::pushToTalkTitle(), QStringLiteral("правый Alt"));
    ASSERT_NE(HotkeyManager::activePreset(), nullptr);
    EXPECT_EQ(HotkeyManager::activePreset()->identifier, QLatin1String("cmdShiftSpace"));
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("f6"));
    EXPECT_EQ(HotkeyManager::activePreset()->combination, (Keys::Combination{Keys::f6, Keys::none}));
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("unknown"));
    EXPECT_EQ(HotkeyManager::activePreset(), nullptr);
}

TEST_F(HotkeyManagerTest, GrabsOnlyWhatActsInTheCurrentState)
{
    EXPECT_FALSE(manager.isActive());
    start();
    EXPECT_EQ(shared->grabs, (std::vector<Keys::Combination>{superShiftSpace, learn}));
    press(superShiftSpace);
    EXPECT_EQ(calls, (std::vector<std::string>{"typing", "toggle"}));
    // The toggle started a recording: Enter and Esc act now, learning does not.
    EXPECT_EQ(shared->grabs, (std::vector<Keys::Combination>{superShiftSpace, enter, keypadEnter, escape}));

    calls.clear();
    press(keypadEnter);
    press(enter);
    press(escape);
    press(learn);
    EXPECT_EQ(calls, (std::vector<std::string>{"done", "done", "cancel"}));

    // A recording that ends elsewhere: the owner refreshes, and Enter/Esc reach applications again.
    recording = false;
    manager.refreshGrabs();
    calls.clear();
    press(enter);
    press(escape);
    EXPECT_FALSE(grabbed(enter));
    EXPECT_EQ(calls, (std::vector<std::string>{"typing", "typing"}));
    press(learn);
    EXPECT_EQ(calls.back(), "learn");
}

TEST_F(HotkeyManagerTest, ToggleMatchesItsModifiersExactly)
{
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("optSpace"));
    start();
    EXPECT_TRUE(grabbed(altSpace));
    EXPECT_FALSE(grabbed(superShiftSpace));
    // Super+Alt+Space is not grabbed, so it passes through; should it arrive, it is not ours either.
    shared->hook->onCombination({Keys::space, Keys::alt | Keys::super});
    EXPECT_TRUE(calls.empty());
    press(altSpace);
    EXPECT_EQ(calls.back(), "toggle");

    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("off"));
    manager.refreshGrabs();
    EXPECT_FALSE(grabbed(altSpace));
    EXPECT_EQ(shared->grabs.size(), 3U) << "only Enter, keypad Enter and Esc of the running recording";
}

TEST_F(HotkeyManagerTest, RightAltHoldStartsAndReleaseEndsPushToTalk)
{
    start();
    key(Keys::rightAlt, true);
    QTest::qWait(HotkeyManager::holdDelayMs + 200);
    EXPECT_EQ(calls, (std::vector<std::string>{"pttBegin"}));
    key(Keys::rightAlt, false);
    EXPECT_EQ(calls, (std::vector<std::string>{"pttBegin", "pttEnd"}));

    // AltGr layouts send ISO_Level3_Shift for the same key.
    calls.clear();
    key(Keys::isoLevel3Shift, true);
    QTest::qWait(HotkeyManager::holdDelayMs + 200);
    key(Keys::isoLevel3Shift, false);
    EXPECT_EQ(calls, (std::vector<std::string>{"pttBegin", "pttEnd"}));
}

TEST_F(HotkeyManagerTest, ShortHoldsChordsAndDisabledPushToTalkStartNothing)
{
    start();
    key(Keys::rightAlt, true);
    QTest::qWait(HotkeyManager::holdDelayMs - 100);
    key(Keys::rightAlt, false);
    QTest::qWait(300);
    EXPECT_TRUE(calls.empty());

    // Right Alt + a letter, however long held.
    key(Keys::rightAlt, true);
    key('a', true);
    key('a', false);
    QTest::qWait(HotkeyManager::holdDelayMs + 300);
    key(Keys::rightAlt, false);
    EXPECT_EQ(calls, (std::vector<std::string>{"typing"}));

    // Another modifier during the hold is not a chord.
    calls.clear();
    key(Keys::rightAlt, true);
    key(0xffe1, true);
    QTest::qWait(HotkeyManager::holdDelayMs + 200);
    key(0xffe1, false);
    key(Keys::rightAlt, false);
    EXPECT_EQ(calls, (std::vector<std::string>{"pttBegin", "pttEnd"}));

    calls.clear();
    SettingsStore::shared().setBool(SettingsKey::pttEnabled, false);
    key(Keys::rightAlt, true);
    QTest::qWait(HotkeyManager::holdDelayMs + 200);
    key(Keys::rightAlt, false);
    SettingsStore::shared().setBool(SettingsKey::pttEnabled, true);
    recording = true;
    key(Keys::rightAlt, true);
    QTest::qWait(HotkeyManager::holdDelayMs + 200);
    key(Keys::rightAlt, false);
    EXPECT_TRUE(calls.empty());
}

TEST_F(HotkeyManagerTest, TypingNoticeOnlyForTypedKeysWhileNotRecording)
{
    start();
    key('x', true, /*synthetic=*/true);
    key(0xffe3, true);
    EXPECT_TRUE(calls.empty()) << "posted keys and lone modifiers are not typing";
    key('x', true);
    EXPECT_EQ(calls, (std::vector<std::string>{"typing"}));
    key('x', false);
    recording = true;
    key('y', true);
    EXPECT_EQ(calls.size(), 1U);
}

TEST_F(HotkeyManagerTest, CombinationOwnedByAnotherProgramIsReportedAndTheRestWorks)
{
    shared->ownedByOthers = {superShiftSpace};
    start();
    EXPECT_EQ(manager.unavailableShortcuts(), QStringList{QStringLiteral("Super+Shift+Пробел")});
    QFile log(Paths::logDir() + QStringLiteral("/app.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Горячие клавиши активны")));
    EXPECT_EQ(text.count(QStringLiteral("Сочетание занято другой программой: Super+Shift+Пробел")), 1);
    manager.refreshGrabs();
    press(learn);
    EXPECT_EQ(calls.back(), "learn");
}

TEST_F(HotkeyManagerTest, StartFailsWithoutADisplayAndSucceedsLater)
{
    shared->startable = false;
    EXPECT_FALSE(manager.startIfPossible());
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(shared->grabs.empty());
    shared->startable = true;
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
