#include "WaylandRig.h"

#include <csignal>

namespace
{

// KWin gives its fake input and window list only to a program whose installed desktop entry asks for them: the
// package's entry, its Exec naming the app under test as the package's names /usr/bin/tolvan.
QStringList withTolvansDesktopEntry()
{
    return {QStringLiteral(TOLVAN_DESKTOP_ENTRY), tolvanExecutable()};
}

// The app under test is the copy that KWin's user can reach, when the rig had to make one.
void runTheCopyKWinReaches(const Compositor& kwin)
{
    if (!kwin.programCopy().isEmpty())
        qputenv("TOLVAN_TEST_EXECUTABLE", kwin.programCopy().toUtf8());
}

using WaylandDesktopTest = DesktopTest;

} // namespace

// Into a native GTK window, and into one KWin names a terminal (by its app_id) with Ctrl+Shift+V; the user's
// clipboard comes back; KWin going away (a logout) ends the app in order.
TEST_F(WaylandDesktopTest, UnderKWinDictationIsPastedThroughFakeInputIntoTheFocusedNativeWindowOrTerminal)
{
    const Compositor kwin(QStringLiteral("kwin"), withTolvansDesktopEntry());
    if (!kwin.isRunning())
        GTEST_SKIP() << "KWin cannot run here: " << kwin.problem();
    runTheCopyKWinReaches(kwin);
    ASSERT_EQ(kwin.runClient({QStringLiteral("wl-copy"), QStringLiteral("пароль от почты")}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return kwin.nativeClipboard() == QStringLiteral("пароль от почты"); }, 5000));
    const auto field = kwin.nativeTextField();
    ASSERT_TRUE(field->isReady());
    const auto app = startApp(kwin.session(), {{SettingsKey::restoreClipboard, true}});
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(
        app->log().contains(QStringLiteral("Сеанс Wayland (KDE Plasma), доставка текста: виртуальный ввод KWin")))
        << app->log().toStdString();

    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(expectedField, 8000)) << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Control_L"), QStringLiteral("Ctrl+V")}));
    EXPECT_TRUE(app->logShows(QStringLiteral("Буфер обмена восстановлен"), 5000)) << app->log().toStdString();
    EXPECT_EQ(kwin.nativeClipboard(), QStringLiteral("пароль от почты"));

    const auto konsole = kwin.nativeTextField(false, Compositor::Field::text, QStringLiteral("org.kde.konsole"));
    ASSERT_TRUE(konsole->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(QTest::qWaitFor([&] { return konsole->keys().contains(QStringLiteral("Ctrl+Shift+V")); }, 8000))
        << konsole->keys().join(u' ').toStdString() << app->log().toStdString();
    EXPECT_FALSE(konsole->keys().contains(QStringLiteral("Ctrl+V")));
    ASSERT_TRUE(app->waitUntilIdle());
    EXPECT_EQ(field->text(), expectedField);

    const qint64 server = app->serverPid();
    kwin.signal(SIGTERM);
    ASSERT_TRUE(DesktopRig::finishes(app->process(), 10000));
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process().exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(server); }, 5000));
}

// Without the desktop entry KWin refuses the keys: the text is left on the clipboard, the panel says so, and it is
// the clipboard native windows paste from too.
TEST_F(WaylandDesktopTest, UnderKWinRefusingFakeInputTheTextIsLeftOnTheClipboardNativeWindowsPasteFrom)
{
    const Compositor kwin(QStringLiteral("kwin"));
    if (!kwin.isRunning())
        GTEST_SKIP() << "KWin cannot run here: " << kwin.problem();
    const auto field = kwin.nativeTextField();
    ASSERT_TRUE(field->isReady());
    const auto app = startApp(kwin.session());
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(app->log().contains(QStringLiteral("Сеанс Wayland (KDE Plasma), доставка текста: буфер обмена")))
        << app->log().toStdString();
    EXPECT_TRUE(app->log().contains(QStringLiteral("KWin не дал Толвану ввод клавиш")));

    dictateWithTheCommand(*app);
    EXPECT_TRUE(app->logShows(QStringLiteral("Панель: «Текст в буфере — вставьте Ctrl+V»"), 8000))
        << app->log().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return kwin.nativeClipboard() == expectedText; }, 5000))
        << kwin.nativeClipboard().toStdString();
    EXPECT_EQ(field->text(), QString());
}
