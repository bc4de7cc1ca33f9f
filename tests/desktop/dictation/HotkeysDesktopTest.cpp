#include "DesktopSession.h"
#include "app/Paths.h"
#include "app/SettingsStore.h"
#include "dictation/HotkeyManager.h"

#include <QFile>
#include <QTest>

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
            calls << QStringLiteral("toggle");
            recording = !recording;
        };
        manager->onPTTBegin = [this] { calls << QStringLiteral("pttBegin"); };
        manager->onPTTEnd = [this] { calls << QStringLiteral("pttEnd"); };
        manager->onCancel = [this] { calls << QStringLiteral("cancel"); };
        manager->onDone = [this] { calls << QStringLiteral("done"); };
        manager->onLearn = [this] { calls << QStringLiteral("learn"); };
        manager->onUserTyping = [this] { calls << QStringLiteral("typing"); };
    }

    void TearDown() override { qunsetenv("TOLVAN_TEST_XTEST_AS_HARDWARE"); }

    // xdotool presses, e.g. "super+shift+space".
    void press(const QString& keys)
    {
        ASSERT_EQ(DesktopSession::run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}), 0);
        // Lets the hook's events arrive.
        QTest::qWait(150);
    }

    void hold(const QStringList& steps)
    {
        auto process = DesktopSession::keys(steps);
        ASSERT_TRUE(DesktopSession::finishes(*process));
        QTest::qWait(150);
    }

    std::unique_ptr<HotkeyManager> manager;
    bool recording = false;
    QStringList calls;
};

} // namespace

TEST_F(HotkeysDesktopTest, ToggleIsSwallowedWhileOtherKeysReachTheField)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    ASSERT_TRUE(manager->startIfPossible());
    press(QStringLiteral("super+shift+space"));
    EXPECT_EQ(calls, QStringList{QStringLiteral("toggle")});
    press(QStringLiteral("super+shift+space"));
    EXPECT_EQ(calls.count(QStringLiteral("toggle")), 2);
    press(QStringLiteral("a"));
    EXPECT_TRUE(field.waitForText(QStringLiteral("a")));
    EXPECT_EQ(field.keys(), QStringList{QStringLiteral("A")});

    // With Caps Lock on the combination is still ours.
    press(QStringLiteral("Caps_Lock"));
    press(QStringLiteral("super+shift+space"));
    press(QStringLiteral("Caps_Lock"));
    EXPECT_EQ(calls.count(QStringLiteral("toggle")), 3);
    EXPECT_FALSE(field.keys().join(QLatin1Char(' ')).contains(QStringLiteral("Space")));
}

TEST_F(HotkeysDesktopTest, EnterAndEscapeActOnlyWhileRecording)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    ASSERT_TRUE(manager->startIfPossible());
    press(QStringLiteral("Return"));
    press(QStringLiteral("Escape"));
    EXPECT_TRUE(calls.filter(QStringLiteral("done")).isEmpty());
    EXPECT_TRUE(calls.filter(QStringLiteral("cancel")).isEmpty());
    EXPECT_EQ(field.keys(), (QStringList{QStringLiteral("Return"), QStringLiteral("Esc")}));

    recording = true;
    manager->refreshGrabs();
    press(QStringLiteral("Return"));
    press(QStringLiteral("KP_Enter"));
    press(QStringLiteral("Escape"));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("done"), QStringLiteral("done"), QStringLiteral("cancel")}));
    EXPECT_EQ(field.keys().size(), 2) << "swallowed while recording";
    // Ctrl+Shift+Space learns only while not recording.
    press(QStringLiteral("ctrl+shift+space"));
    EXPECT_EQ(calls.size(), 3);

    recording = false;
    manager->refreshGrabs();
    press(QStringLiteral("ctrl+shift+space"));
    EXPECT_EQ(calls.last(), QStringLiteral("learn"));
    press(QStringLiteral("Return"));
    EXPECT_EQ(field.keys().last(), QStringLiteral("Return"));
}

TEST_F(HotkeysDesktopTest, RightAltHoldIsPushToTalk)
{
    ASSERT_TRUE(manager->startIfPossible());
    auto holding =
        DesktopSession::keys({QStringLiteral("down:Alt_R"), QStringLiteral("sleep:700"), QStringLiteral("up:Alt_R")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.contains(QStringLiteral("pttBegin")); }, 2000));
    EXPECT_FALSE(calls.contains(QStringLiteral("pttEnd"))) << "began while the key was still held";
    ASSERT_TRUE(DesktopSession::finishes(*holding));
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.size() == 2; }, 2000));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("pttBegin"), QStringLiteral("pttEnd")}));
}

TEST_F(HotkeysDesktopTest, ShortHoldOrChordIsNotPushToTalk)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    ASSERT_TRUE(manager->startIfPossible());
    hold({QStringLiteral("down:Alt_R"), QStringLiteral("sleep:200"), QStringLiteral("up:Alt_R")});
    QTest::qWait(300);
    hold({QStringLiteral("down:Alt_R"), QStringLiteral("tap:b"), QStringLiteral("sleep:800"),
          QStringLiteral("up:Alt_R")});
    QTest::qWait(300);
    EXPECT_TRUE(calls.isEmpty()) << calls.join(QLatin1Char(' ')).toStdString();
    // The right Alt is never swallowed: the field saw Alt+B.
    EXPECT_EQ(field.keys(), QStringList{QStringLiteral("Alt+B")});
}

TEST_F(HotkeysDesktopTest, PostedKeysAreNotTypingUnlessTestsSaySo)
{
    ASSERT_TRUE(manager->startIfPossible());
    press(QStringLiteral("x"));
    EXPECT_TRUE(calls.isEmpty());
    manager.reset();

    qputenv("TOLVAN_TEST_XTEST_AS_HARDWARE", "1");
    SetUp();
    ASSERT_TRUE(manager->startIfPossible());
    press(QStringLiteral("x"));
    press(QStringLiteral("shift"));
    EXPECT_EQ(calls, QStringList{QStringLiteral("typing")});
    recording = true;
    press(QStringLiteral("y"));
    EXPECT_EQ(calls, QStringList{QStringLiteral("typing")});
}

TEST_F(HotkeysDesktopTest, CombinationOwnedByAnotherClientIsReportedAndTheRestWorks)
{
    std::unique_ptr<KeyboardHook> other = KeyboardHook::createDefault();
    ASSERT_TRUE(other->start());
    int othersPresses = 0;
    other->onCombination = [&](const Keys::Combination&) { ++othersPresses; };
    const Keys::Combination toggle{Keys::space, Keys::super | Keys::shift};
    ASSERT_TRUE(other->setGrabs({toggle}).empty());

    ASSERT_TRUE(manager->startIfPossible());
    EXPECT_EQ(manager->unavailableShortcuts(), QStringList{QStringLiteral("Super+Shift+Пробел")});
    QFile log(Paths::logDir() + QStringLiteral("/app.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(QStringLiteral("Сочетание занято другой программой")));

    press(QStringLiteral("super+shift+space"));
    EXPECT_EQ(othersPresses, 1);
    EXPECT_FALSE(calls.contains(QStringLiteral("toggle")));
    press(QStringLiteral("ctrl+shift+space"));
    EXPECT_EQ(calls.last(), QStringLiteral("learn"));

    // Once the other program lets go, the next refresh takes the combination.
    other.reset();
    manager->refreshGrabs();
    EXPECT_TRUE(manager->unavailableShortcuts().isEmpty());
    press(QStringLiteral("super+shift+space"));
    EXPECT_EQ(calls.last(), QStringLiteral("toggle"));
}

TEST_F(HotkeysDesktopTest, F6PresetAndPresetChanges)
{
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("f6"));
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    ASSERT_TRUE(manager->startIfPossible());
    press(QStringLiteral("F6"));
    press(QStringLiteral("super+shift+space"));
    EXPECT_EQ(calls, QStringList{QStringLiteral("toggle")});

    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("off"));
    manager->refreshGrabs();
    press(QStringLiteral("F6"));
    EXPECT_EQ(calls.count(QStringLiteral("toggle")), 1);
    EXPECT_TRUE(field.keys().contains(QStringLiteral("F6")));
}

TEST_F(HotkeysDesktopTest, HotkeysSurviveAKeymapChange)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    ASSERT_TRUE(manager->startIfPossible());
    ASSERT_EQ(DesktopSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("ru,us")}),
              0);
    QTest::qWait(200);
    press(QStringLiteral("super+shift+space"));
    press(QStringLiteral("ctrl+shift+space"));
    DesktopSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")});
    QTest::qWait(200);
    press(QStringLiteral("super+shift+space"));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("toggle"), QStringLiteral("toggle")}))
        << "learning is not grabbed while recording";
    EXPECT_FALSE(field.keys().join(QLatin1Char(' ')).contains(QStringLiteral("Meta+Shift")));
}
