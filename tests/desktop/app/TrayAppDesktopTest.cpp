#include "RunningApp.h"
#include "text/Corrections.h"

namespace
{

void clearPrimarySelection()
{
    DesktopSession::finishes(
        *DesktopSession::start(QStringLiteral("xclip"),
                               {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("primary")},
                               QByteArray()),
        5000);
}

class TrayAppDesktopTest : public DesktopTest
{};

} // namespace

TEST_F(TrayAppDesktopTest, OneInstanceTakesCommandsFromTheCommandLine)
{
    const ProcessOutput alone = runTolvan({QStringLiteral("--toggle")});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_TRUE(alone.err().contains(QStringLiteral("Толван не запущен"))) << alone.err().toStdString();

    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    RunningApp app(answering(QStringLiteral("dictation_one_filler.json")),
                   {{SettingsKey::recognizeWhileRecording, false}});
    ASSERT_TRUE(app.waitUntilReady());
    ASSERT_TRUE(QTest::qWaitFor([] { return RunningApp::trayIcons().size() == 1; }, 5000));
    // The icon's window is reparented into the tray host's panel.
    const QRegularExpression embeddedIcon(
        QStringLiteral("\"panel\": \\(\"panel\" \"trayer\"\\)[^\\n]*\\n(\\s+[^\\n]*\\n){0,4}\\s+0x[0-9a-f]+ "
                       "\"Толван\": \\(\"tolvan\" \"Tolvan\"\\)\\s+(1[6-9]|2\\d)x(1[6-9]|2\\d)"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return embeddedIcon.match(RunningApp::windowTree()).hasMatch(); }, 5000))
        << RunningApp::windowTree().toStdString();
    EXPECT_FALSE(app.log().contains(QStringLiteral("Системный трей недоступен")));

    // A second start opens the first one's settings and leaves.
    const ProcessOutput second = runTolvan({});
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return RunningApp::activeWindowName().startsWith(QStringLiteral("Настройки Толвана")); }, 10000))
        << RunningApp::activeWindowName().toStdString();
    EXPECT_EQ(app.process().state(), QProcess::Running);
    EXPECT_EQ(RunningApp::trayIcons().size(), 1);
    ASSERT_TRUE(field.activate()) << RunningApp::activeWindowName().toStdString();

    EXPECT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    RunningApp::say(QStringLiteral("Привет, это проверка диктовки."));
    EXPECT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    EXPECT_TRUE(field.waitForText(QStringLiteral("Я, короче, пошёл домой, потому что устал."), 8000))
        << field.text().toStdString();
}

TEST_F(TrayAppDesktopTest, LearningAWordFromTheSelectionTeachesTheRecognizerAndReplacesIt)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    RunningApp app;
    ASSERT_TRUE(app.waitUntilReady());

    // Nothing selected: the dialog starts empty, and nothing is pasted afterwards.
    clearPrimarySelection();
    RunningApp::press(QStringLiteral("ctrl+shift+space"));
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return RunningApp::activeWindowName().startsWith(QStringLiteral("Выучить слово")); }, 5000))
        << RunningApp::activeWindowName().toStdString();
    DesktopSession::screenshot(QStringLiteral("learn-word-empty"));
    DesktopSession::xdotool({QStringLiteral("type"), QStringLiteral("linuks")});
    RunningApp::press(QStringLiteral("Tab"));
    DesktopSession::xdotool({QStringLiteral("type"), QStringLiteral("Linux")});
    RunningApp::press(QStringLiteral("Return"));
    ASSERT_TRUE(QTest::qWaitFor([] { return Corrections::load().size() == 1; }, 3000));
    QTest::qWait(800);
    EXPECT_EQ(field.text(), QString());

    // A selected word: the dialog shows it, and the correct form replaces it.
    DesktopSession::setClipboardElsewhere(QStringLiteral("gitkhab"));
    RunningApp::press(QStringLiteral("ctrl+v"));
    ASSERT_TRUE(field.waitForText(QStringLiteral("gitkhab")));
    RunningApp::press(QStringLiteral("shift+Home"));
    RunningApp::press(QStringLiteral("ctrl+shift+space"));
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return RunningApp::activeWindowName().startsWith(QStringLiteral("Выучить слово")); }, 5000));
    DesktopSession::screenshot(QStringLiteral("learn-word-heard"));
    DesktopSession::xdotool({QStringLiteral("type"), QStringLiteral("GitHub")});
    RunningApp::press(QStringLiteral("Return"));

    EXPECT_TRUE(field.waitForText(QStringLiteral("GitHub"), 5000)) << field.text().toStdString();
    const std::vector<CorrectionPair> pairs = Corrections::load();
    EXPECT_NE(
        std::find(pairs.begin(), pairs.end(), CorrectionPair{QStringLiteral("gitkhab"), QStringLiteral("GitHub")}),
        pairs.end());
    // The recognizer was started again with the new spelling in its prompt.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return TestFiles::read(app.recordDirectory() + QStringLiteral("/args.txt")).contains("GitHub"); }, 5000));
}
