#include "RunningApp.h"

namespace
{

// A headless compositor (start-compositor.sh beside this file) for as long as the object lives.
class Compositor
{
public:
    explicit Compositor(const QString& name)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/start-compositor.sh"), {name});
        (void)QTest::qWaitFor(
            [&] {
                while (process_.canReadLine()) {
                    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                    const qsizetype equals = line.indexOf(u'=');
                    if (line.startsWith(QLatin1String("UNAVAILABLE ")))
                        problem_ = line.mid(12);
                    else if (equals > 0)
                        values_.insert(line.left(equals), line.mid(equals + 1));
                }
                return isRunning() || !problem_.isEmpty() || process_.state() == QProcess::NotRunning;
            },
            20000);
        if (!isRunning() && problem_.isEmpty())
            problem_ = name + QStringLiteral(" did not come up");
    }
    ~Compositor()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }

    bool isRunning() const { return values_.contains(QStringLiteral("WAYLAND_DISPLAY")); }
    std::string problem() const { return problem_.toStdString(); }

    // The session of a program started inside the compositor's desktop: its Wayland socket, and its XWayland
    // where it runs one (else the rig's X server).
    QProcessEnvironment session() const
    {
        QProcessEnvironment environment;
        if (values_.contains(QStringLiteral("DISPLAY")))
            environment.insert(QStringLiteral("DISPLAY"), values_.value(QStringLiteral("DISPLAY")));
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), values_.value(QStringLiteral("WAYLAND_DISPLAY")));
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        // The compositor is told by what it offers.
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QString());
        return environment;
    }

    // The Qt text field as an X11 program of the compositor's XWayland.
    std::unique_ptr<TextFieldWindow> x11TextField() const
    {
        return std::make_unique<TextFieldWindow>(
            QStringList{QStringLiteral("DISPLAY=") + values_.value(QStringLiteral("DISPLAY")),
                        QStringLiteral(TOLVAN_FAKES_DIR "/text-field")},
            QStringLiteral("env"));
    }

    // The GTK text field as a native client of the compositor.
    std::unique_ptr<TextFieldWindow> nativeTextField() const
    {
        return std::make_unique<TextFieldWindow>(
            QStringList{values_.value(QStringLiteral("RUNTIME")), values_.value(QStringLiteral("WAYLAND_DISPLAY")),
                        QStringLiteral("python3"), QStringLiteral(TOLVAN_GTK_TEXT_FIELD)},
            QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/run-client.sh"));
    }

private:
    QProcess process_;
    QHash<QString, QString> values_;
    QString problem_;
};

const QString phrase = QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода.");

// The app in the compositor's session with the recognizer answering dictation_commands.json, ready to dictate.
std::unique_ptr<RunningApp> startApp(const Compositor& compositor)
{
    TestFiles::write(Paths::dataDir() + QStringLiteral("/corrections.json"), R"({"линукс": "Linux"})");
    return std::make_unique<RunningApp>(answering(QStringLiteral("dictation_commands.json"), compositor.session()));
}

// The desktop's shortcut for `tolvan --toggle`, twice around the spoken phrase.
void dictateWithTheCommand(const RunningApp& app)
{
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    ASSERT_TRUE(app.logShows(QStringLiteral("Запись начата")));
    RunningApp::say(phrase);
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
}

using WaylandDesktopTest = DesktopTest;

} // namespace

TEST_F(WaylandDesktopTest, UnderSwayDictationReachesTheFocusedWindowAnX11OneAndThenANativeOne)
{
    const Compositor sway(QStringLiteral("sway"));
    if (!sway.isRunning())
        GTEST_SKIP() << "sway cannot run here: " << sway.problem();
    const auto app = startApp(sway);
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(app->log().contains(QStringLiteral("Сеанс Wayland (wlroots), доставка текста: виртуальная клавиатура")))
        << app->log().toStdString();
    const QString expected = QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста.");

    // An X11 window takes the text through XWayland as in an X11 session.
    const auto x11Field = sway.x11TextField();
    ASSERT_TRUE(x11Field->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(x11Field->waitForText(expected, 8000)) << x11Field->text().toStdString();
    ASSERT_TRUE(app->waitUntilIdle());

    // The native window opened next gets the focus, and the text; wlroots' XWayland, which has now seen an X11
    // window focused, takes the X11 clipboard over whenever the seat's changes.
    const auto field = sway.nativeTextField();
    ASSERT_TRUE(field->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(expected, 8000)) << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Control_L"), QStringLiteral("Ctrl+V")}));
    EXPECT_EQ(x11Field->text(), expected);
}

TEST_F(WaylandDesktopTest, UnderACompositorWithoutARouteTheTextIsLeftOnTheClipboardAndThePanelSaysSo)
{
    const Compositor weston(QStringLiteral("weston"));
    if (!weston.isRunning())
        GTEST_SKIP() << "weston cannot run here: " << weston.problem();
    const auto app = startApp(weston);
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(app->log().contains(QStringLiteral("Сеанс Wayland, доставка текста: буфер обмена")))
        << app->log().toStdString();

    dictateWithTheCommand(*app);
    EXPECT_TRUE(app->logShows(QStringLiteral("Панель: «Текст в буфере — вставьте Ctrl+V»"), 8000))
        << app->log().toStdString();
    EXPECT_EQ(DesktopSession::clipboard(), QStringLiteral("Привет, это проверка Linuxа.\n\nВторая часть текста."));
}
