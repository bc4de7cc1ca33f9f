#include "RunningApp.h"
#include "text/Corrections.h"

using TrayAppDesktopTest = DesktopTest;

// Dictating with --toggle through a running instance is driven by the soak test.
TEST_F(TrayAppDesktopTest, WithoutAnInstanceCommandsFailAndASecondStartOpensTheFirstOnesSettings)
{
    const ProcessOutput alone = runTolvan({QStringLiteral("--toggle")});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_TRUE(alone.err().contains(QStringLiteral("Толван не запущен"))) << alone.err().toStdString();

    RunningApp app;
    ASSERT_TRUE(app.waitUntilReady());
    ASSERT_TRUE(QTest::qWaitFor([] { return RunningApp::trayIcons().size() == 1; }, 5000));
    EXPECT_FALSE(app.log().contains(QStringLiteral("Системный трей недоступен")));

    // A second start opens the first one's settings and leaves.
    const ProcessOutput second = runTolvan({});
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return DesktopSession::activeWindowName().startsWith(QStringLiteral("Настройки Толвана")); }, 10000))
        << DesktopSession::activeWindowName().toStdString();
    EXPECT_EQ(app.process().state(), QProcess::Running);
    EXPECT_EQ(RunningApp::trayIcons().size(), 1);
    // Shells match the window to the desktop entry (StartupWMClass=Tolvan) and show its icon.
    QString window, properties;
    DesktopSession::run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}, &window);
    DesktopSession::run(
        QStringLiteral("xprop"),
        {QStringLiteral("-id"), window.trimmed(), QStringLiteral("WM_CLASS"), QStringLiteral("_NET_WM_ICON")},
        &properties);
    EXPECT_TRUE(properties.contains(QStringLiteral("\"Tolvan\""))) << properties.left(300).toStdString();
    EXPECT_TRUE(properties.contains(QStringLiteral("_NET_WM_ICON(CARDINAL) = "))) << properties.left(300).toStdString();
}

TEST_F(TrayAppDesktopTest, LearningAWordFromTheSelectionTeachesTheRecognizerAndReplacesIt)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    RunningApp app;
    ASSERT_TRUE(app.waitUntilReady());

    // Nothing selected in the field, only long ago in another program: the dialog starts empty, and nothing is
    // pasted afterwards (the field's keys at the end).
    DesktopSession::finishes(
        *DesktopSession::start(QStringLiteral("xclip"),
                               {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("primary")},
                               QByteArrayLiteral("давнишнее")),
        5000);
    ASSERT_EQ(DesktopSession::selection(QStringLiteral("primary")), QStringLiteral("давнишнее"));
    DesktopSession::press({QStringLiteral("ctrl+shift+space")});
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return DesktopSession::activeWindowName().startsWith(QStringLiteral("Выучить слово")); }, 5000))
        << DesktopSession::activeWindowName().toStdString();
    DesktopSession::screenshot(QStringLiteral("learn-word-empty"));
    // The copy keystroke sent to the field is over before the test types.
    ASSERT_TRUE(app.waitUntilIdle());
    DesktopSession::xdotool({QStringLiteral("type"), QStringLiteral("linuks")});
    DesktopSession::press({QStringLiteral("Tab")});
    DesktopSession::xdotool({QStringLiteral("type"), QStringLiteral("Linux")});
    DesktopSession::press({QStringLiteral("Return")});
    ASSERT_TRUE(QTest::qWaitFor([] { return Corrections::load().size() == 1; }, 3000));
    EXPECT_EQ(Corrections::load().front().wrong, QStringLiteral("linuks"));

    // A selected word: the dialog shows it, and the correct form replaces it.
    DesktopSession::setClipboardElsewhere(QStringLiteral("gitkhab"));
    ASSERT_TRUE(
        QTest::qWaitFor([] { return DesktopSession::activeWindowName() == QStringLiteral("Поле ввода"); }, 5000))
        << DesktopSession::activeWindowName().toStdString();
    DesktopSession::press({QStringLiteral("ctrl+v")});
    ASSERT_TRUE(field.waitForText(QStringLiteral("gitkhab")));
    DesktopSession::press({QStringLiteral("shift+Home")});
    ASSERT_TRUE(
        QTest::qWaitFor([] { return DesktopSession::selection("primary") == QStringLiteral("gitkhab"); }, 5000));
    DesktopSession::press({QStringLiteral("ctrl+shift+space")});
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return DesktopSession::activeWindowName().startsWith(QStringLiteral("Выучить слово")); }, 5000));
    DesktopSession::screenshot(QStringLiteral("learn-word-heard"));
    DesktopSession::xdotool({QStringLiteral("type"), QStringLiteral("GitHub")});
    DesktopSession::press({QStringLiteral("Return")});

    EXPECT_TRUE(field.waitForText(QStringLiteral("GitHub"), 5000)) << field.text().toStdString();
    ASSERT_TRUE(app.waitUntilIdle());
    EXPECT_EQ(field.keys().filter(QStringLiteral("Ctrl+V")).size(), 2) << field.keys().join(u' ').toStdString();
    const std::vector<CorrectionPair> pairs = Corrections::load();
    EXPECT_NE(
        std::find(pairs.begin(), pairs.end(), CorrectionPair{QStringLiteral("gitkhab"), QStringLiteral("GitHub")}),
        pairs.end());
    // The recognizer was started again with the new spelling in its prompt.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return TestFiles::read(app.recordDirectory() + QStringLiteral("/args.txt")).contains("GitHub"); }, 5000));
}
