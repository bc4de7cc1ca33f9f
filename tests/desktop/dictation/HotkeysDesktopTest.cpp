#include "DesktopRig.h"
#include "core/SettingsStore.h"
#include "dictation/HotkeyManager.h"

#include <optional>

namespace
{

class HotkeysDesktopTest : public DesktopTest
{
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        if (IsSkipped())
            return;
        field.emplace();
        ASSERT_TRUE(field->isReady());
        manager.emplace();
        manager->isRecording = [this] { return recording; };
        manager->onToggle = [this] {
            calls << "toggle";
            recording = !recording;
        };
        for (auto [slot, name] : {std::pair{&HotkeyManager::onPTTBegin, "pttBegin"},
                                  {&HotkeyManager::onPTTEnd, "pttEnd"},
                                  {&HotkeyManager::onPTTChord, "pttChord"},
                                  {&HotkeyManager::onCancel, "cancel"},
                                  {&HotkeyManager::onDone, "done"},
                                  {&HotkeyManager::onLearn, "learn"},
                                  {&HotkeyManager::onUserTyping, "typing"}})
            (*manager).*slot = [this, name] { calls << QLatin1String(name); };
    }

    // Waits until the hotkeys have reported this many calls; the events of one X connection come in order.
    bool callsReach(qsizetype count)
    {
        return QTest::qWaitFor([&] { return calls.size() >= count; }, 3000);
    }
    // Holds the key until push-to-talk begins, then lets it go: push-to-talk begins and ends, nothing else.
    void holdUntilPushToTalkBegins(const QString& key)
    {
        calls.clear();
        ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:" + key})));
        ASSERT_TRUE(callsReach(1));
        ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"up:" + key})));
        ASSERT_TRUE(callsReach(2));
        EXPECT_EQ(calls, (QStringList{"pttBegin", "pttEnd"}));
        calls.clear();
    }
    // Presses a key that reaches the field and waits for it: every key pressed before has reached it too.
    bool fieldCaughtUp()
    {
        DesktopRig::press({"F12"});
        return QTest::qWaitFor([&] { return field->keys().value(field->keys().size() - 1) == "F12"; }, 3000);
    }

    std::optional<TextFieldWindow> field;
    std::optional<HotkeyManager> manager;
    bool recording = false;
    QStringList calls;
};

} // namespace

TEST_F(HotkeysDesktopTest,
       ToggleAndWhileRecordingEnterAndEscAreSwallowedWithCapsLockAndAfterAKeymapChangeRightAltIsPushToTalk)
{
    ASSERT_TRUE(manager->startIfPossible());
    DesktopRig::press({"Caps_Lock", "super+shift+space", "Caps_Lock", "super+shift+space", "x", "ctrl+shift+space"});
    EXPECT_TRUE(field->waitForText("x"));
    ASSERT_TRUE(callsReach(3));
    EXPECT_EQ(calls, (QStringList{"toggle", "toggle", "learn"})) << "posted keys are no typing";
    calls.clear();
    // Right Alt is never grabbed: with a letter it is the application's chord, however long held. Only a long
    // lone hold is push-to-talk.
    ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:Alt_R", "down:b", "up:b", "sleep:800", "up:Alt_R"})));
    EXPECT_TRUE(QTest::qWaitFor([&] { return field->keys().contains("Alt+B"); }, 3000));
    ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:Alt_R", "sleep:50", "up:Alt_R"})));
    ASSERT_NO_FATAL_FAILURE(holdUntilPushToTalkBegins("Alt_R"));
    // AltGr held a second before its key, as a slow typist of a typographic layout does: the recording the hold
    // started is a chord's, never a dictation (no end that would recognize it).
    ASSERT_TRUE(DesktopRig::finishes(
        *DesktopRig::keys({"down:Alt_R", "sleep:1000", "down:b", "up:b", "sleep:100", "up:Alt_R"})));
    ASSERT_TRUE(callsReach(2));
    ASSERT_TRUE(fieldCaughtUp());
    EXPECT_EQ(calls, (QStringList{"pttBegin", "pttChord"}));
    calls.clear();

    // A layout whose right Alt is AltGr (the German one here, Birman's typographic one alike) is told apart, and the
    // right Ctrl chosen in its place is push-to-talk's key.
    EXPECT_FALSE(manager->rightAltIsAltGr());
    ASSERT_EQ(DesktopRig::setLayout("de"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->rightAltIsAltGr(); }, 3000));
    SettingsStore::shared().setString(SettingsKey::pttKey, QStringLiteral("rightCtrl"));
    ASSERT_NO_FATAL_FAILURE(holdUntilPushToTalkBegins("Control_R"));
    SettingsStore::shared().setString(SettingsKey::pttKey, QStringLiteral("rightAlt"));
    ASSERT_EQ(DesktopRig::setLayout("us"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager->rightAltIsAltGr(); }, 3000));

    ASSERT_EQ(DesktopRig::setLayout("ru,us"), 0);
    DesktopRig::press({"super+shift+space", "ctrl+shift+space"});
    ASSERT_TRUE(callsReach(1));
    DesktopRig::setLayout("us");
    DesktopRig::press({"super+shift+space"});
    ASSERT_TRUE(callsReach(2));
    EXPECT_EQ(calls, QStringList(2, "toggle")) << "learning is not grabbed while recording";
    ASSERT_TRUE(fieldCaughtUp());
    EXPECT_FALSE(field->keys().join(u' ').contains("Meta+Shift")) << field->keys().join(u' ').toStdString();

    // While recording, keypad Enter and Esc with any modifiers are swallowed, learning is not (Enter, Esc and
    // their release afterwards are driven through the whole application elsewhere).
    recording = true;
    manager->refreshGrabs();
    calls.clear();
    const QStringList keysBefore = field->keys();
    DesktopRig::press({"KP_Enter", "shift+Escape", "ctrl+alt+shift+super+Escape", "ctrl+shift+space"});
    ASSERT_TRUE(callsReach(3));
    ASSERT_TRUE(fieldCaughtUp());
    EXPECT_EQ(calls, (QStringList{"done", "cancel", "cancel"}));
    EXPECT_EQ(field->keys().mid(keysBefore.size()), (QStringList{"Ctrl+Shift+Space", "F12"}));
}

TEST_F(HotkeysDesktopTest, CombinationOwnedByAnotherClientIsReportedAndTakenOnceItIsFree)
{
    std::unique_ptr<KeyboardHook> other = KeyboardHook::createDefault();
    ASSERT_TRUE(other->start());
    int othersPresses = 0;
    other->onCombination = [&](const Keys::Combination&) { ++othersPresses; };
    ASSERT_TRUE(other->setGrabs({{Keys::space, Keys::super | Keys::shift}}).empty());

    ASSERT_TRUE(manager->startIfPossible());
    EXPECT_EQ(manager->unavailableShortcuts(), QStringList{"Super+Shift+Пробел"});
    EXPECT_EQ(DesktopRig::appLog().count(QStringLiteral("Сочетание занято другой программой: Super+Shift+Пробел")), 1);
    DesktopRig::press({"super+shift+space", "ctrl+shift+space"});
    ASSERT_TRUE(callsReach(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return othersPresses == 1; }, 3000));
    EXPECT_EQ(calls, QStringList{"learn"});

    other.reset();
    manager->refreshGrabs();
    EXPECT_TRUE(manager->unavailableShortcuts().isEmpty());
    DesktopRig::press({"super+shift+space"});
    ASSERT_TRUE(callsReach(2));
    EXPECT_EQ(calls.last(), "toggle");
}

// That posted keys never count as typing is shown by the first test.
TEST_F(HotkeysDesktopTest, KeysFromTheKeyboardAreTypingOnlyWhileNotRecording)
{
    qputenv("TOLVAN_TEST_XTEST_AS_HARDWARE", "1");
    ASSERT_TRUE(manager->startIfPossible());
    DesktopRig::press({"x", "shift"});
    ASSERT_TRUE(callsReach(1));
    recording = true;
    manager->refreshGrabs();
    // The toggle ends the list: nothing pressed before it is left to come.
    DesktopRig::press({"y", "super+shift+space"});
    ASSERT_TRUE(callsReach(2));
    EXPECT_EQ(calls, (QStringList{"typing", "toggle"}));
}
