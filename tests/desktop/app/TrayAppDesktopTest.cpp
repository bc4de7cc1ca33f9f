#include "RunningApp.h"
#include "support/FakeSessionBus.h"
#include "support/LocalHttpServer.h"
#include "text/Corrections.h"

#include <QElapsedTimer>

#include <csignal>
#include <functional>

namespace
{

// An X server of the test's own with a window manager and no tray host, as GNOME is without an extension for a
// tray. While the object lives, the test's helpers and the programs it starts use this display.
class DesktopWithoutTray
{
public:
    DesktopWithoutTray()
    {
        // The server picks a free display number itself and writes it to its standard output.
        programs_.push_back(DesktopRig::start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset"}));
        ready_ = QTest::qWaitFor([&] { return programs_.back()->canReadLine(); }, 10000);
        if (ready_) {
            qputenv("DISPLAY", ":" + programs_.back()->readLine().trimmed());
            programs_.push_back(DesktopRig::start("openbox", {"--sm-disable"}));
        }
    }
    ~DesktopWithoutTray()
    {
        while (!programs_.empty())
            stopNewest();
        qputenv("DISPLAY", rigDisplay_);
    }

    bool isReady() const { return ready_; }
    // A tray host comes, as a panel started after the app; stopNewest() ends it again.
    void startTrayHost() { programs_.push_back(DesktopRig::start("trayer", {})); }
    void stopNewest()
    {
        programs_.back()->terminate();
        programs_.back()->waitForFinished(5000);
        programs_.pop_back();
    }

private:
    const QByteArray rigDisplay_ = qgetenv("DISPLAY");
    std::vector<std::unique_ptr<QProcess>> programs_;
    bool ready_ = false;
};

} // namespace

using TrayAppDesktopTest = DesktopTest;

TEST_F(TrayAppDesktopTest, OneCopyRunsHoweverItIsStartedAndTheCommandsReachIt)
{
    const ProcessOutput alone = runTolvan({QStringLiteral("--toggle")});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_TRUE(alone.err().contains(QStringLiteral("Толван не запущен"))) << alone.err().toStdString();

    // Two starts at the same moment, as a double-clicked launcher makes them: one of them opens the other's
    // settings and leaves.
    RunningApp app;
    QProcess second;
    second.setProcessEnvironment(app.process().processEnvironment());
    second.start(tolvanExecutable(), {});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return app.process().state() == QProcess::NotRunning || second.state() == QProcess::NotRunning; },
        15000));
    QProcess& running = second.state() == QProcess::NotRunning ? app.process() : second;
    ASSERT_TRUE(app.waitUntilReady());
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return DesktopRig::activeWindowName().startsWith(QStringLiteral("Настройки Толвана")); }, 10000))
        << DesktopRig::activeWindowName().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([] { return RunningApp::trayIcons().size() == 1; }, 5000));
    EXPECT_FALSE(app.log().contains(QStringLiteral("Системный трей недоступен")));
    // Shells match the window to the desktop entry (StartupWMClass=Tolvan) and show its icon.
    QString window, properties;
    DesktopRig::run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}, &window);
    DesktopRig::run(
        QStringLiteral("xprop"),
        {QStringLiteral("-id"), window.trimmed(), QStringLiteral("WM_CLASS"), QStringLiteral("_NET_WM_ICON")},
        &properties);
    EXPECT_TRUE(properties.contains(QStringLiteral("\"Tolvan\""))) << properties.left(300).toStdString();
    EXPECT_TRUE(properties.contains(QStringLiteral("_NET_WM_ICON(CARDINAL) = "))) << properties.left(300).toStdString();
    EXPECT_EQ(app.logCount(QStringLiteral("Толван уже запущен — открываю его настройки")), 1);
    // A left click on the icon opens its menu too.
    const qsizetype shown = RunningApp::visibleWindows().size();
    EXPECT_TRUE(RunningApp::openTrayMenu(1));
    DesktopRig::press({QStringLiteral("Escape")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::visibleWindows().size() == shown; }, 5000));

    // A copy that does not answer, stopped here, keeps its place: a start meanwhile gives up instead of running
    // beside it and taking over its socket.
    ::kill(static_cast<pid_t>(running.processId()), SIGSTOP);
    const ProcessOutput third = runTolvan({}, {}, running.processEnvironment());
    ::kill(static_cast<pid_t>(running.processId()), SIGCONT);
    EXPECT_TRUE(third.finished);
    EXPECT_EQ(third.exitCode, 1);
    EXPECT_EQ(app.logCount(QStringLiteral("Запуск «Толван»")), 1);

    // The commands reach it: a recording thrown away, then one finished (too short to be recognized, or silent when
    // starting the commands took longer than the shortest recording).
    for (const char* command : {"--toggle", "--cancel", "--toggle", "--finish"})
        ASSERT_EQ(runTolvan({QString::fromLatin1(command)}).exitCode, 0) << command;
    EXPECT_TRUE(app.logShows(QStringLiteral("Запись отменена")));
    EXPECT_TRUE(app.logShows(QStringLiteral("Запись отброшена: ")));

    // Killed, it leaves its socket behind; the next start takes over and takes the commands.
    ::kill(static_cast<pid_t>(running.processId()), SIGKILL);
    ASSERT_TRUE(running.waitForFinished(5000));
    RunningApp next;
    ASSERT_TRUE(next.waitUntilReady());
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    EXPECT_TRUE(next.logShows(QStringLiteral("Запись начата")));
    EXPECT_EQ(next.logCount(QStringLiteral("Запуск «Толван»")), 1);
}

TEST_F(TrayAppDesktopTest, LearningAWordFromTheSelectionTeachesTheRecognizerAndReplacesIt)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    RunningApp app;
    ASSERT_TRUE(app.waitUntilReady());

    // Nothing selected in the field, only long ago in another program: the dialog starts empty, and nothing is
    // pasted afterwards (the field's keys at the end).
    ASSERT_TRUE(DesktopRig::setSelectionElsewhere(QStringLiteral("primary"), QStringLiteral("давнишнее")));
    DesktopRig::press({QStringLiteral("ctrl+shift+space")});
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return DesktopRig::activeWindowName().startsWith(QStringLiteral("Выучить слово")); }, 5000))
        << DesktopRig::activeWindowName().toStdString();
    DesktopRig::screenshot(QStringLiteral("learn-word-empty"));
    // The copy keystroke sent to the field is over before the test types.
    ASSERT_TRUE(app.waitUntilIdle());
    DesktopRig::xdotool({QStringLiteral("type"), QStringLiteral("linuks")});
    DesktopRig::press({QStringLiteral("Tab")});
    DesktopRig::xdotool({QStringLiteral("type"), QStringLiteral("Linux")});
    DesktopRig::press({QStringLiteral("Return")});
    ASSERT_TRUE(QTest::qWaitFor([] { return Corrections::load().size() == 1; }, 3000));
    EXPECT_EQ(Corrections::load().front().wrong, QStringLiteral("linuks"));

    // A selected word: the dialog shows it, and the correct form replaces it.
    DesktopRig::setClipboardElsewhere(QStringLiteral("gitkhab"));
    ASSERT_TRUE(QTest::qWaitFor([] { return DesktopRig::activeWindowName() == QStringLiteral("Поле ввода"); }, 5000))
        << DesktopRig::activeWindowName().toStdString();
    DesktopRig::press({QStringLiteral("ctrl+v")});
    ASSERT_TRUE(field.waitForText(QStringLiteral("gitkhab")));
    DesktopRig::press({QStringLiteral("shift+Home")});
    ASSERT_TRUE(QTest::qWaitFor([] { return DesktopRig::selection("primary") == QStringLiteral("gitkhab"); }, 5000));
    DesktopRig::press({QStringLiteral("ctrl+shift+space")});
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return DesktopRig::activeWindowName().startsWith(QStringLiteral("Выучить слово")); }, 5000));
    DesktopRig::screenshot(QStringLiteral("learn-word-heard"));
    DesktopRig::xdotool({QStringLiteral("type"), QStringLiteral("GitHub")});
    DesktopRig::press({QStringLiteral("Return")});

    EXPECT_TRUE(field.waitForText(QStringLiteral("GitHub"), 5000)) << field.text().toStdString();
    ASSERT_TRUE(app.waitUntilIdle());
    EXPECT_EQ(field.keys().filter(QStringLiteral("Ctrl+V")).size(), 2) << field.keys().join(u' ').toStdString();
    const std::vector<CorrectionPair> pairs = Corrections::load();
    EXPECT_NE(
        std::find(pairs.begin(), pairs.end(), CorrectionPair{QStringLiteral("gitkhab"), QStringLiteral("GitHub")}),
        pairs.end());
    // The recognizer, still the same process, hears the new spelling in the next request's prompt.
    const qint64 recognizer = app.serverPid();
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    RunningApp::say(QStringLiteral("Проверка."));
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    const auto promptHeard = [&] {
        for (const QString& body : QDir(app.recordDirectory()).entryList({QStringLiteral("request-*.body")})) {
            const QByteArray request = TestFiles::read(app.recordDirectory() + u'/' + body);
            if (request.contains("name=\"prompt\"") && request.contains("GitHub"))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(promptHeard, 10000)) << app.log().toStdString();
    EXPECT_EQ(app.serverPid(), recognizer);
}

TEST_F(TrayAppDesktopTest, TheEndOfTheSessionEndsTheAppAlsoWhileAnAlertWaitsForAnAnswer)
{
    // A model that cannot be fetched: the app asks whether to try again, with two buttons and no escape one.
    const QString unreachable = QStringLiteral("http://127.0.0.1:%1").arg(LocalHttpServer::closedPort());
    QProcessEnvironment hub;
    hub.insert(QStringLiteral("TOLVAN_MODEL_HUB"), unreachable);
    hub.insert(QStringLiteral("TOLVAN_MODEL_MIRROR"), unreachable);
    const std::vector<RecognitionModel> models = ModelCatalog::all();
    const auto missing = std::find_if(models.begin(), models.end(),
                                      [](const auto& model) { return model.id != ModelCatalog::turboModelID(); });
    RunningApp app(hub, {{SettingsKey::modelID, missing->id}});
    ASSERT_TRUE(app.logShows(QStringLiteral("Окно: «Не удалось загрузить модель»"), 15000)) << app.log().toStdString();

    ::kill(static_cast<pid_t>(app.process().processId()), SIGTERM);
    ASSERT_TRUE(DesktopRig::finishes(app.process(), 8000));
    EXPECT_EQ(app.process().exitCode(), 0);
    EXPECT_TRUE(app.log().contains(QStringLiteral("Завершение работы")));
}

TEST_F(TrayAppDesktopTest, WithoutATrayASecondStartOpensTheSettingsWithTheMenuTheTrayWouldHave)
{
    DesktopWithoutTray desktop;
    ASSERT_TRUE(desktop.isReady());
    SettingsStore(Paths::settingsFile()).setHistory({QStringLiteral("Вторая фраза"), QStringLiteral("Первая фраза")});
    RunningApp app;
    ASSERT_TRUE(app.waitUntilReady());
    EXPECT_TRUE(app.logShows(QStringLiteral("Системный трей недоступен: меню Толвана — в окне настроек")));
    const auto pressOpens = [](const char* key) {
        return RunningApp::opensWindow([key] { DesktopRig::press({QString::fromLatin1(key)}); });
    };
    const auto secondStartShowsSettings = [] {
        return runTolvan({}).exitCode == 0 &&
               QTest::qWaitFor(
                   [] { return DesktopRig::activeWindowName().startsWith(QStringLiteral("Настройки Толвана")); },
                   10000);
    };

    // Started again, as from the desktop's application grid: the settings, with the menu's button in the focus.
    ASSERT_TRUE(secondStartShowsSettings()) << DesktopRig::activeWindowName().toStdString();
    DesktopRig::screenshot(QStringLiteral("settings-without-tray"));
    ASSERT_TRUE(pressOpens("space"));
    // Начать диктовку, Распознать аудиофайл…, Настройки…, Макросы…, Выучить слово…, История: its first entry is copied.
    DesktopRig::press({"Down", "Down", "Down", "Down", "Down", "Down"});
    ASSERT_TRUE(pressOpens("Right"));
    DesktopRig::screenshot(QStringLiteral("settings-without-tray-history"));
    DesktopRig::press({"Return"});
    EXPECT_TRUE(DesktopRig::clipboardBecomes(QStringLiteral("Вторая фраза")));

    // A tray host started later takes the icon and the menu; when it goes, the window offers the menu again.
    desktop.startTrayHost();
    EXPECT_TRUE(app.logShows(QStringLiteral("Системный трей появился")));
    EXPECT_TRUE(QTest::qWaitFor([] { return RunningApp::trayIcons().size() == 1; }, 5000));
    desktop.stopNewest();
    EXPECT_TRUE(app.logShowsTimes(QStringLiteral("Системный трей недоступен"), 2));

    // The menu's last entry quits.
    ASSERT_TRUE(secondStartShowsSettings());
    ASSERT_TRUE(pressOpens("space"));
    DesktopRig::press({"Up", "Return"});
    ASSERT_TRUE(DesktopRig::finishes(app.process(), 8000));
    EXPECT_EQ(app.process().exitCode(), 0);
    EXPECT_TRUE(app.log().contains(QStringLiteral("Завершение работы")));
}

// KDE Plasma's tray is a StatusNotifierItem host on the session bus: the icon and the menu go there over D-Bus.
TEST_F(TrayAppDesktopTest, UnderAStatusNotifierHostAsPlasmasTheIconShowsEachStateAndTheHostReadsTheMenu)
{
    FakeSessionBus bus(QStringLiteral(FAKE_STATUS_NOTIFIER_HOST));
    ASSERT_TRUE(bus.startService({}));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS"), QStringLiteral("3000"));
    // The whole recording recognized after its end, slowly: the host sees that state however late it reads.
    RunningApp app(environment, {{SettingsKey::recognizeWhileRecording, false}});
    ASSERT_TRUE(app.waitUntilReady());
    ASSERT_TRUE(bus.waitForCall(QStringLiteral("ITEM")));
    EXPECT_FALSE(app.log().contains(QStringLiteral("Системный трей недоступен")));

    // What the host read since line `from`: "SHOWN <status> <icon> | <menu entry> | …".
    const auto shown = [&](qsizetype from) { return bus.readCalls().mid(from).filter(QRegularExpression("^SHOWN ")); };
    // Waits until the host, asked to read the item again now and then, shows an icon (and with it a menu entry)
    // that `wanted` accepts; answers that icon.
    const auto waitForShown = [&](qsizetype from, const std::function<bool(const QString&)>& wanted,
                                  const QString& entry) {
        QString icon;
        QElapsedTimer asked;
        const bool seen = QTest::qWaitFor(
            [&] {
                for (const QString& line : shown(from)) {
                    if (wanted(line.section(u' ', 2, 2)) && line.contains(" | " + entry + " | ")) {
                        icon = line.section(u' ', 2, 2);
                        return true;
                    }
                }
                if (!asked.isValid() || asked.elapsed() > 500) {
                    bus.tell(QStringLiteral("report"));
                    asked.start();
                }
                return false;
            },
            15000);
        return seen ? icon : QString();
    };
    const auto any = [](const QString&) { return true; };
    const QString idle = waitForShown(0, any, QStringLiteral("Начать диктовку"));
    ASSERT_FALSE(idle.isEmpty()) << bus.readCalls().join(u'\n').toStdString();
    EXPECT_TRUE(shown(0).constLast().endsWith(QStringLiteral(" | Выйти")));
    const qsizetype idleAt = bus.readCalls().size();

    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    const QString recording = waitForShown(
        idleAt, [&](const QString& icon) { return icon != idle; }, QStringLiteral("Остановить и распознать"));
    EXPECT_FALSE(recording.isEmpty()) << bus.readCalls().join(u'\n').toStdString();
    const qsizetype recordingAt = bus.readCalls().size();
    RunningApp::say(QStringLiteral("Привет, это проверка диктовки."));
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    const QString recognizing = waitForShown(
        recordingAt, [&](const QString& icon) { return icon != idle && icon != recording; },
        QStringLiteral("Начать диктовку"));
    EXPECT_FALSE(recognizing.isEmpty()) << bus.readCalls().join(u'\n').toStdString();
    const qsizetype recognizingAt = bus.readCalls().size();
    ASSERT_TRUE(QTest::qWaitFor([] { return !SettingsStore(Paths::settingsFile()).history().isEmpty(); }, 30000));
    EXPECT_EQ(waitForShown(
                  recognizingAt, [&](const QString& icon) { return icon == idle; }, QStringLiteral("Начать диктовку")),
              idle)
        << bus.readCalls().join(u'\n').toStdString();
    // Each change was announced, as a host needs to redraw: the recording, the recognizing and the idle icon.
    EXPECT_GE(bus.readCalls().mid(idleAt).count(QStringLiteral("SIGNAL NewIcon")), 3)
        << bus.readCalls().join(u'\n').toStdString();
}
