#include "Compositor.h"
#include "RunningApp.h"

#include <csignal>

namespace
{

using GnomeDesktopTest = DesktopTest;

// The app joins mutter's session as it would a GNOME Wayland session: its windows on XWayland.
QProcessEnvironment gnomeSession(const Compositor& mutter)
{
    QProcessEnvironment environment = answering(QStringLiteral("dictation_commands.json"), mutter.environment());
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
    return environment;
}

} // namespace

TEST_F(GnomeDesktopTest, TheCommandLineToggleDictatesIntoTheFocusedNativeWindowThroughMutter)
{
    Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isReady())
        GTEST_SKIP() << "headless mutter did not start: " << mutter.failure().toStdString();
    TestFiles::write(Paths::dataDir() + QStringLiteral("/corrections.json"), R"({"линукс": "Linux"})");
    RunningApp app(gnomeSession(mutter));
    ASSERT_TRUE(app.waitUntilReady()) << app.log().toStdString();
    // A native GTK window, the only one with the keyboard focus: no X11 window is active.
    TextFieldWindow field(mutter.clientLauncher(),
                          mutter.clientArguments({QStringLiteral("env"), QStringLiteral("GDK_BACKEND=wayland"),
                                                  QStringLiteral("python3"), QStringLiteral(TOLVAN_GTK_TEXT_FIELD)}));
    ASSERT_TRUE(field.isReady());

    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    ASSERT_TRUE(app.logShows(QStringLiteral("Запись начата")));
    RunningApp::say(QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода."));
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);

    // Cleaned, corrected, the spoken command rendered: through Tolvan's X11 clipboard and mutter's Ctrl+V.
    const QString expected = QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста.");
    EXPECT_TRUE(field.waitForText(expected, 8000))
        << field.text().toStdString() << field.keys().join(u' ').toStdString() << app.log().toStdString();
    EXPECT_TRUE(field.keys().contains(QStringLiteral("Ctrl+V"))) << field.keys().join(u' ').toStdString();

    ASSERT_TRUE(app.waitUntilIdle());
    ::kill(static_cast<pid_t>(app.process().processId()), SIGTERM);
    ASSERT_TRUE(app.process().waitForFinished(8000));
    EXPECT_TRUE(app.log().contains(QStringLiteral("Сеанс удалённого управления GNOME остановлен")));
}
