#include "DesktopSession.h"
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
                                  {&HotkeyManager::onCancel, "cancel"},
                                  {&HotkeyManager::onDone, "done"},
                                  {&HotkeyManager::onLearn, "learn"},
                                  {&HotkeyManager::onUserTyping, "typing"}})
            (*manager).*slot = [this, name] { calls << QLatin1String(name); };
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
    DesktopSession::press({"Caps_Lock", "super+shift+space", "Caps_Lock", "super+shift+space", "x"});
    EXPECT_EQ(calls, (QStringList{"toggle", "toggle"})) << "posted keys are no typing";
    EXPECT_TRUE(field->waitForText("x"));
    // Right Alt is never grabbed: with a letter it is the application's chord, however long held. Only a long
    // lone hold is push-to-talk.
    ASSERT_TRUE(
        DesktopSession::finishes(*DesktopSession::keys({"down:Alt_R", "down:b", "up:b", "sleep:800", "up:Alt_R"})));
    EXPECT_EQ(field->keys().last(), "Alt+B");
    ASSERT_TRUE(DesktopSession::finishes(*DesktopSession::keys({"down:Alt_R", "sleep:50", "up:Alt_R"})));
    ASSERT_TRUE(DesktopSession::finishes(*DesktopSession::keys({"down:Alt_R", "sleep:800", "up:Alt_R"})));
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.size() == 4; }, 1000));
    EXPECT_EQ(calls, (QStringList{"toggle", "toggle", "pttBegin", "pttEnd"}));
    calls.clear();

    ASSERT_EQ(DesktopSession::setLayout("ru,us"), 0);
    QTest::qWait(200);
    DesktopSession::press({"super+shift+space", "ctrl+shift+space"});
    DesktopSession::setLayout("us");
    QTest::qWait(200);
    DesktopSession::press({"super+shift+space"});
    EXPECT_EQ(calls, QStringList(2, "toggle")) << "learning is not grabbed while recording";
    EXPECT_FALSE(field->keys().join(u' ').contains("Meta+Shift")) << field->keys().join(u' ').toStdString();

    // While recording, keypad Enter and Esc with any modifiers are swallowed, learning is not (Enter, Esc and
    // their release afterwards are driven through the whole application elsewhere).
    recording = true;
    manager->refreshGrabs();
    calls.clear();
    const qsizetype keysBefore = field->keys().size();
    DesktopSession::press({"KP_Enter", "shift+Escape", "ctrl+alt+shift+super+Escape", "ctrl+shift+space"});
    EXPECT_EQ(calls, (QStringList{"done", "cancel", "cancel"}));
    EXPECT_EQ(field->keys().size(), keysBefore + 1) << field->keys().join(u' ').toStdString();
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
    EXPECT_EQ(DesktopSession::appLog().count(QStringLiteral("Сочетание занято другой программой: Super+Shift+Пробел")),
              1);
    DesktopSession::press({"super+shift+space", "ctrl+shift+space"});
    EXPECT_EQ(othersPresses, 1);
    EXPECT_EQ(calls, QStringList{"learn"});

    other.reset();
    manager->refreshGrabs();
    EXPECT_TRUE(manager->unavailableShortcuts().isEmpty());
    DesktopSession::press({"super+shift+space"});
    EXPECT_EQ(calls.last(), "toggle");
}

// That posted keys never count as typing is shown by the first test.
TEST_F(HotkeysDesktopTest, KeysFromTheKeyboardAreTypingOnlyWhileNotRecording)
{
    qputenv("TOLVAN_TEST_XTEST_AS_HARDWARE", "1");
    ASSERT_TRUE(manager->startIfPossible());
    DesktopSession::press({"x", "shift"});
    EXPECT_EQ(calls, QStringList{"typing"});
    recording = true;
    DesktopSession::press({"y"});
    EXPECT_EQ(calls, QStringList{"typing"});
}
