#include "DesktopSession.h"
#include "core/Paths.h"
#include "dictation/HotkeyManager.h"
#include "support/TestFiles.h"

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
        for (auto [slot, name] : {std::pair{&HotkeyManager::onCancel, "cancel"},
                                  {&HotkeyManager::onDone, "done"},
                                  {&HotkeyManager::onLearn, "learn"},
                                  {&HotkeyManager::onUserTyping, "typing"}})
            (*manager).*slot = [this, name] { calls << QLatin1String(name); };
    }

    // xdotool presses, e.g. "super+shift+space"; then lets the hook's events arrive.
    void press(const QStringList& presses)
    {
        for (const QString& keys : presses) {
            DesktopSession::xdotool({QStringLiteral("key"), keys});
            QTest::qWait(150);
        }
    }

    std::optional<TextFieldWindow> field;
    std::optional<HotkeyManager> manager;
    bool recording = false;
    QStringList calls;
};

} // namespace

TEST_F(HotkeysDesktopTest, ToggleIsSwallowedWithCapsLockAndAfterAKeymapChangeWhilePostedKeysAndRightAltPassOn)
{
    ASSERT_TRUE(manager->startIfPossible());
    press({"Caps_Lock", "super+shift+space", "Caps_Lock", "super+shift+space", "x"});
    EXPECT_EQ(calls, (QStringList{"toggle", "toggle"})) << "posted keys are no typing";
    EXPECT_TRUE(field->waitForText("x"));
    // Right Alt is never grabbed: with a letter it is the application's chord.
    ASSERT_TRUE(DesktopSession::finishes(*DesktopSession::keys({"down:Alt_R", "tap:b", "sleep:800", "up:Alt_R"})));
    EXPECT_EQ(field->keys().last(), "Alt+B");

    ASSERT_EQ(DesktopSession::setLayout("ru,us"), 0);
    QTest::qWait(200);
    press({"super+shift+space", "ctrl+shift+space"});
    DesktopSession::setLayout("us");
    QTest::qWait(200);
    press({"super+shift+space"});
    EXPECT_EQ(calls, QStringList(4, "toggle")) << "learning is not grabbed while recording";
    EXPECT_FALSE(field->keys().join(u' ').contains("Meta+Shift")) << field->keys().join(u' ').toStdString();
}

// Enter, Esc and their release afterwards are driven through the whole application elsewhere.
TEST_F(HotkeysDesktopTest, WhileRecordingKeypadEnterAndEscWithModifiersAreSwallowedAndLearningIsNot)
{
    recording = true;
    ASSERT_TRUE(manager->startIfPossible());
    press({"KP_Enter", "shift+Escape", "ctrl+shift+Escape", "ctrl+shift+space"});
    EXPECT_EQ(calls, (QStringList{"done", "cancel", "cancel"}));
    EXPECT_EQ(field->keys().size(), 1) << field->keys().join(u' ').toStdString();
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
    const QString log = QString::fromUtf8(TestFiles::read(Paths::logDir() + QStringLiteral("/app.log")));
    EXPECT_EQ(log.count(QStringLiteral("Сочетание занято другой программой: Super+Shift+Пробел")), 1);
    press({"super+shift+space", "ctrl+shift+space"});
    EXPECT_EQ(othersPresses, 1);
    EXPECT_EQ(calls, QStringList{"learn"});

    other.reset();
    manager->refreshGrabs();
    EXPECT_TRUE(manager->unavailableShortcuts().isEmpty());
    press({"super+shift+space"});
    EXPECT_EQ(calls.last(), "toggle");
}

TEST_F(HotkeysDesktopTest, KeysFromTheKeyboardAreTypingOnlyWhileNotRecordingAndPostedOnesNever)
{
    ASSERT_TRUE(manager->startIfPossible());
    press({"x"});
    EXPECT_TRUE(calls.isEmpty());
    manager.reset();

    qputenv("TOLVAN_TEST_XTEST_AS_HARDWARE", "1");
    SetUp();
    ASSERT_TRUE(manager->startIfPossible());
    press({"x", "shift"});
    EXPECT_EQ(calls, QStringList{"typing"});
    recording = true;
    press({"y"});
    EXPECT_EQ(calls, QStringList{"typing"});
}
