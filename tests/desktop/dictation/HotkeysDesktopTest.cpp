#include "DesktopSession.h"
#include "core/Paths.h"
#include "dictation/HotkeyManager.h"

#include <QFile>

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
        manager = std::make_unique<HotkeyManager>();
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
    void TearDown() override { qunsetenv("TOLVAN_TEST_XTEST_AS_HARDWARE"); }

    // A field to type into and a running manager.
    void startWithField()
    {
        field = std::make_unique<TextFieldWindow>();
        ASSERT_TRUE(field->isReady());
        ASSERT_TRUE(manager->startIfPossible());
    }

    // xdotool presses, e.g. "super+shift+space"; then lets the hook's events arrive.
    void press(const QStringList& presses)
    {
        for (const QString& keys : presses) {
            DesktopSession::xdotool({QStringLiteral("key"), keys});
            QTest::qWait(150);
        }
    }

    std::unique_ptr<TextFieldWindow> field;
    std::unique_ptr<HotkeyManager> manager;
    bool recording = false;
    QStringList calls;
};

} // namespace

TEST_F(HotkeysDesktopTest, ToggleIsSwallowedWhileOtherKeysReachTheField)
{
    startWithField();
    press({"super+shift+space"});
    EXPECT_EQ(calls, QStringList{"toggle"});
    press({"super+shift+space", "a"});
    EXPECT_EQ(calls.count("toggle"), 2);
    EXPECT_TRUE(field->waitForText("a"));
    EXPECT_EQ(field->keys(), QStringList{"A"});
    // With Caps Lock on the combination is still ours.
    press({"Caps_Lock", "super+shift+space", "Caps_Lock"});
    EXPECT_EQ(calls.count("toggle"), 3);
    EXPECT_FALSE(field->keys().join(u' ').contains("Space"));
}

TEST_F(HotkeysDesktopTest, EnterAndEscapeActOnlyWhileRecording)
{
    startWithField();
    press({"Return", "Escape"});
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(field->keys(), (QStringList{"Return", "Esc"}));

    recording = true;
    manager->refreshGrabs();
    press({"Return", "KP_Enter", "Escape"});
    EXPECT_EQ(calls, (QStringList{"done", "done", "cancel"}));
    EXPECT_EQ(field->keys().size(), 2) << "swallowed while recording";
    // Esc cancels with modifiers held too.
    press({"shift+Escape", "ctrl+Escape", "ctrl+shift+Escape"});
    EXPECT_EQ(calls.count("cancel"), 4);
    EXPECT_EQ(field->keys().size(), 2) << field->keys().join(u' ').toStdString();
    // Ctrl+Shift+Space learns only while not recording.
    press({"ctrl+shift+space"});
    EXPECT_EQ(calls.size(), 6);

    recording = false;
    manager->refreshGrabs();
    press({"ctrl+shift+space", "Return"});
    EXPECT_EQ(calls.last(), "learn");
    EXPECT_EQ(field->keys().last(), "Return");
}

TEST_F(HotkeysDesktopTest, OnlyALongLoneHoldOfRightAltIsPushToTalk)
{
    startWithField();
    auto holding = DesktopSession::keys({"down:Alt_R", "sleep:700", "up:Alt_R"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.contains("pttBegin"); }, 2000));
    EXPECT_FALSE(calls.contains("pttEnd")) << "began while the key was still held";
    ASSERT_TRUE(DesktopSession::finishes(*holding));
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.size() == 2; }, 2000));
    EXPECT_EQ(calls, (QStringList{"pttBegin", "pttEnd"}));

    calls.clear();
    for (const QStringList& steps : {QStringList{"down:Alt_R", "sleep:200", "up:Alt_R"},
                                     QStringList{"down:Alt_R", "tap:b", "sleep:800", "up:Alt_R"}}) {
        ASSERT_TRUE(DesktopSession::finishes(*DesktopSession::keys(steps)));
        QTest::qWait(450);
    }
    EXPECT_TRUE(calls.isEmpty()) << calls.join(u' ').toStdString();
    // The right Alt is never swallowed: the field saw Alt+B.
    EXPECT_EQ(field->keys(), QStringList{"Alt+B"});
}

TEST_F(HotkeysDesktopTest, PostedKeysAreNotTypingUnlessTestsSaySo)
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

TEST_F(HotkeysDesktopTest, CombinationOwnedByAnotherClientIsReportedAndTheRestWorks)
{
    std::unique_ptr<KeyboardHook> other = KeyboardHook::createDefault();
    ASSERT_TRUE(other->start());
    int othersPresses = 0;
    other->onCombination = [&](const Keys::Combination&) { ++othersPresses; };
    ASSERT_TRUE(other->setGrabs({{Keys::space, Keys::super | Keys::shift}}).empty());

    ASSERT_TRUE(manager->startIfPossible());
    EXPECT_EQ(manager->unavailableShortcuts(), QStringList{"Super+Shift+Пробел"});
    QFile log(Paths::logDir() + QStringLiteral("/app.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains("Сочетание занято другой программой"));
    press({"super+shift+space"});
    EXPECT_EQ(othersPresses, 1);
    EXPECT_FALSE(calls.contains("toggle"));
    press({"ctrl+shift+space"});
    EXPECT_EQ(calls.last(), "learn");

    // Once the other program lets go, the next refresh takes the combination.
    other.reset();
    manager->refreshGrabs();
    EXPECT_TRUE(manager->unavailableShortcuts().isEmpty());
    press({"super+shift+space"});
    EXPECT_EQ(calls.last(), "toggle");
}

TEST_F(HotkeysDesktopTest, HotkeysSurviveAKeymapChange)
{
    startWithField();
    ASSERT_EQ(DesktopSession::setLayout("ru,us"), 0);
    QTest::qWait(200);
    press({"super+shift+space", "ctrl+shift+space"});
    DesktopSession::setLayout("us");
    QTest::qWait(200);
    press({"super+shift+space"});
    EXPECT_EQ(calls, (QStringList{"toggle", "toggle"})) << "learning is not grabbed while recording";
    EXPECT_FALSE(field->keys().join(u' ').contains("Meta+Shift"));
}
