#include "RunningApp.h"
#include "quality/SpeechQuality.h"

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
        // mutter's remote desktop is on a session bus of the rig's.
        for (const QString& name : {QStringLiteral("DISPLAY"), QStringLiteral("DBUS_SESSION_BUS_ADDRESS")}) {
            if (values_.contains(name))
                environment.insert(name, values_.value(name));
        }
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

    // The X11 window active on the compositor's XWayland: its title, or empty.
    QString activeX11WindowName() const
    {
        QString name;
        DesktopSession::run(QStringLiteral("env"),
                            {QStringLiteral("DISPLAY=") + values_.value(QStringLiteral("DISPLAY")),
                             QStringLiteral("xdotool"), QStringLiteral("getactivewindow"),
                             QStringLiteral("getwindowname")},
                            &name);
        return name.trimmed();
    }

    // The GTK text field as a native client of the compositor; an accessible one reports to the accessibility bus
    // of the compositor's session.
    std::unique_ptr<TextFieldWindow> nativeTextField(bool accessible = false) const
    {
        return std::make_unique<TextFieldWindow>(
            QStringList{QStringLiteral("RIG_ACCESSIBILITY_BUS=") +
                            (accessible ? values_.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")) : QString()),
                        QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/run-client.sh"),
                        values_.value(QStringLiteral("RUNTIME")), values_.value(QStringLiteral("WAYLAND_DISPLAY")),
                        QStringLiteral("python3"), QStringLiteral(TOLVAN_GTK_TEXT_FIELD)},
            QStringLiteral("env"));
    }

    // Runs xdotool on the compositor's XWayland; what it printed.
    QString xdotool(const QStringList& arguments) const
    {
        QString output;
        DesktopSession::run(QStringLiteral("env"),
                            QStringList{QStringLiteral("DISPLAY=") + values_.value(QStringLiteral("DISPLAY")),
                                        QStringLiteral("xdotool")} +
                                arguments,
                            &output);
        return output.trimmed();
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

TEST_F(WaylandDesktopTest, UnderMutterDictationReachesTheFocusedNativeWindowThroughItsRemoteDesktop)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto field = mutter.nativeTextField();
    ASSERT_TRUE(field->isReady());
    const auto app = startApp(mutter);
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(
        app->log().contains(QStringLiteral("Сеанс Wayland (GNOME), доставка текста: удалённый рабочий стол GNOME")))
        << app->log().toStdString();

    // Through the X11 clipboard, which mutter hands on to the native window, and mutter's Ctrl+V.
    dictateWithTheCommand(*app);
    const QString expected = QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста.");
    EXPECT_TRUE(field->waitForText(expected, 8000)) << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Control_L"), QStringLiteral("Ctrl+V")}));

    // The session, and with it GNOME's screen-sharing indicator, lasted for the paste alone.
    EXPECT_TRUE(app->logShows(QStringLiteral("Сеанс удалённого управления GNOME остановлен")));
    EXPECT_EQ(app->log().count(QStringLiteral("Сеанс удалённого управления GNOME открыт")), 1);
}

TEST_F(WaylandDesktopTest, UnderMutterTheReviewWindowTakesTheFocusAndItsPhraseGoesToTheNativeWindowAfterIt)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto field = mutter.nativeTextField();
    ASSERT_TRUE(field->isReady());
    RunningApp app(answering(QStringLiteral("dictation_fillers.json"), mutter.session()),
                   {{SettingsKey::speechQuality, QStringLiteral("highlight")}});
    ASSERT_TRUE(app.waitUntilReady());

    dictateWithTheCommand(app);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return mutter.activeX11WindowName() == QStringLiteral("Грамотная речь — Толван"); }, 8000))
        << mutter.activeX11WindowName().toStdString();
    EXPECT_EQ(field->text(), QString());
    mutter.xdotool({QStringLiteral("key"), QStringLiteral("Return")});

    // Closed, the window hands the focus back to the native one, which gets the cleaned phrase.
    const QString dictated = QStringLiteral("Ну, короче, я пошёл домой, короче, потому что устал.");
    const QString cleaned = SpeechQuality::clean(dictated, SpeechQuality::analyze(dictated));
    EXPECT_TRUE(field->waitForText(cleaned, 5000))
        << field->text().toStdString() << field->keys().join(u' ').toStdString() << app.log().toStdString();
}

TEST_F(WaylandDesktopTest, UnderMutterAPhraseWhoseNativeWindowLostTheFocusStaysOnTheClipboard)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    // On the accessibility bus, which tells mutter's native windows apart.
    const auto field = mutter.nativeTextField(true);
    ASSERT_TRUE(field->isReady());
    RunningApp app(answering(QStringLiteral("dictation_fillers.json"), mutter.session()),
                   {{SettingsKey::speechQuality, QStringLiteral("highlight")}});
    ASSERT_TRUE(app.waitUntilReady());
    ASSERT_TRUE(app.logShows(QStringLiteral("Окна GNOME различаются по событиям шины специальных возможностей")));

    dictateWithTheCommand(app);
    const QString review = QStringLiteral("Грамотная речь — Толван");
    ASSERT_TRUE(QTest::qWaitFor([&] { return mutter.activeX11WindowName() == review; }, 8000));
    const QString reviewWindow = mutter.xdotool({QStringLiteral("getactivewindow")});
    // While the phrase is reviewed the user turns to another native window, then back to the review.
    const auto other = mutter.nativeTextField(true);
    ASSERT_TRUE(other->isReady());
    mutter.xdotool({QStringLiteral("windowactivate"), reviewWindow});
    ASSERT_TRUE(QTest::qWaitFor([&] { return mutter.activeX11WindowName() == review; }, 8000));
    mutter.xdotool({QStringLiteral("key"), QStringLiteral("Return")});

    // Closed, the review window hands the focus to the other window, which must not get the phrase.
    EXPECT_TRUE(app.logShows(QStringLiteral("Панель: «Текст в буфере — вставьте Ctrl+V»"), 8000))
        << app.log().toStdString();
    EXPECT_EQ(other->text(), QString());
    EXPECT_EQ(field->text(), QString());
}
