#include "RunningApp.h"
#include "core/PrivateFiles.h"
#include "engines/CustomModels.h"
#include "quality/AdvisorEngine.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <unistd.h>

namespace
{

// An X server of the test's own, which it can end as a logout ends the session's; its display goes to
// `display` once it accepts connections. Without -noreset it would reset, refusing connections for a
// moment, when the app's first probe disconnects.
std::unique_ptr<QProcess> startXServer(QString* display)
{
    auto server = DesktopRig::start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-noreset"});
    if (QTest::qWaitFor([&] { return server->canReadLine(); }, 10000))
        *display = QLatin1Char(':') + QString::fromLatin1(server->readLine().trimmed());
    return server;
}

// The real whisper-server with the scripted tiny model, and the advisor rewriting every phrase with the fake
// llama-server, whose process ids go to the record directory.
class ChildrenDesktopTest : public DesktopTest
{
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        if (IsSkipped())
            return;
        if (!QFileInfo(whisperServer).isExecutable())
            GTEST_SKIP() << "no " << whisperServer.toStdString() << " (scripts/build-whisper-server.sh builds it)";
        const QString model = QStringLiteral("ggml-scripted-tiny-ru.bin");
        TestFiles::write(Paths::modelsDir() + QStringLiteral("/custom/") + model,
                         TestFiles::read(TestEnvironment::fixture("whisper-server/" + model)));
        settings.insert(SettingsKey::modelID, CustomModels::idPrefix + model);
        QFile advisorModel(
            TestFiles::write(Paths::advisorModelsDir() + QLatin1Char('/') + AdvisorEngine::modelFileName, "GGUF"));
        ASSERT_TRUE(advisorModel.resize(2'000'000'000));
        environment.insert(QStringLiteral("TOLVAN_WHISPER_BIN"), whisperServer);
        environment.insert(QStringLiteral("TOLVAN_LLAMA_BIN"), QStringLiteral(TOLVAN_FAKES_DIR "/llama-server"));
        environment.insert(QStringLiteral("FAKE_LLAMA_RECORD_DIR"), advisorRecord);
        environment.insert(QStringLiteral("FAKE_LLAMA_CONTENT"), QStringLiteral("ОЦЕНКА: 3\nТЕКСТ: Привет."));
    }

    // The app with its recognizer ready dictates a phrase with the command line's toggle, which asks the
    // advisor.
    void startAndDictate()
    {
        app = std::make_unique<RunningApp>(environment, settings);
        ASSERT_TRUE(app->waitUntilReady(30000)) << app->log().toStdString();
        QString found;
        DesktopRig::run(QStringLiteral("pgrep"),
                        {"-P", QString::number(app->process().processId()), "-x", "whisper-server"}, &found);
        recognizer = found.trimmed().toLongLong();
        ASSERT_GT(recognizer, 0);
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        RunningApp::say(QStringLiteral("Привет, это проверка диктовки."));
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(advisorRecord + "/request-1.json"); }, 20000))
            << app->log().toStdString();
        advisor = TestFiles::read(advisorRecord + QStringLiteral("/pids.txt")).toLongLong();
        ASSERT_GT(advisor, 0);
    }

    const QString whisperServer = QStringLiteral(REAL_WHISPER_SERVER);
    const QString advisorRecord = TestEnvironment::makeDirectory(QStringLiteral("llama"));
    QProcessEnvironment environment;
    QVariantHash settings{{SettingsKey::speechQuality, QStringLiteral("autopilot")},
                          {SettingsKey::styleAdvisor, true},
                          {SettingsKey::recognizeWhileRecording, false}};
    std::unique_ptr<RunningApp> app;
    qint64 recognizer = 0;
    qint64 advisor = 0;
};

// The processes running this program file now.
QList<qint64> running(const QString& program)
{
    QList<qint64> pids;
    const QString target = QFileInfo(program).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == target && !RunningApp::hasEnded(pid))
            pids << pid;
    }
    return pids;
}

// GigaAM as a user has it: the bundled sherpa-onnx-offline with the scripted transducer padded to the real
// files' sizes, which writes "привет мир" whatever it hears.
class GigaAMDesktopTest : public DesktopTest
{
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        if (IsSkipped())
            return;
        if (!QFileInfo::exists(QFileInfo(program).absolutePath() + "/libsherpa-onnx-c-api.so"))
            GTEST_SKIP() << "no sherpa-onnx libraries beside " << program.toStdString()
                         << " (scripts/fetch-sherpa-onnx.sh puts them there)";
        const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
        QDir().mkpath(model.location());
        QStringList arguments{TINY_TRANSDUCER_GENERATOR, model.location()};
        for (const double sizeMB : model.fileSizesMB)
            arguments.append(QString::number(ModelCatalog::completeSizeThreshold(sizeMB) + 1));
        ASSERT_EQ(DesktopRig::run(QStringLiteral("/usr/bin/python3"), arguments), 0);
    }

    // Dictates a phrase with the command line's toggle.
    static void record()
    {
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        RunningApp::say(QStringLiteral("Привет, это проверка диктовки."));
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    }

    // Waits until the text of the `count`th dictation heads the history.
    void waitForText(int count) const
    {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return SettingsStore(Paths::settingsFile()).history().size() == count; }, 20000))
            << app->log().toStdString();
        EXPECT_EQ(SettingsStore(Paths::settingsFile()).history().value(0), QStringLiteral("Привет мир"));
    }

    // The private folders of recordings handed to the recognizer and not yet answered.
    static QStringList recordingsInFlight()
    {
        return QDir(PrivateFiles::temporaryBase()).entryList({QStringLiteral("tolvan-gigaam-*")}, QDir::Dirs);
    }

    const QString program = QStringLiteral(REAL_SHERPA_ONNX_OFFLINE);
    std::unique_ptr<RunningApp> app;
};

} // namespace

TEST_F(GigaAMDesktopTest, OneWarmRecognizerServesEveryDictationAndItsPiecesComesBackAfterAKillAndEndsWithTheApp)
{
    app = std::make_unique<RunningApp>(QProcessEnvironment(),
                                       QVariantHash{{SettingsKey::modelID, QStringLiteral("gigaam-v3")},
                                                    {SettingsKey::recognizeWhileRecording, true}});
    ASSERT_TRUE(app->logShows(QStringLiteral("sherpa-onnx-offline готов (прогрет)"), 30000))
        << app->log().toStdString();
    const QList<qint64> warm = running(program);
    ASSERT_EQ(warm.size(), 1);

    for (int count = 1; count <= 2; ++count) {
        ASSERT_NO_FATAL_FAILURE(record());
        ASSERT_NO_FATAL_FAILURE(waitForText(count));
    }
    EXPECT_EQ(running(program), warm);
    EXPECT_TRUE(recordingsInFlight().isEmpty()) << recordingsInFlight().join(' ').toStdString();

    // The recognizer dies with a recording handed to it: a new one is started, warmed and given that recording.
    ::kill(static_cast<pid_t>(warm.front()), SIGSTOP);
    ASSERT_NO_FATAL_FAILURE(record());
    ASSERT_TRUE(QTest::qWaitFor([] { return !recordingsInFlight().isEmpty(); }, 10000));
    ::kill(static_cast<pid_t>(warm.front()), SIGKILL);
    ASSERT_NO_FATAL_FAILURE(waitForText(3));
    EXPECT_EQ(app->logCount(QStringLiteral("sherpa-onnx-offline готов (прогрет)")), 2);
    const QList<qint64> replaced = running(program);
    ASSERT_EQ(replaced.size(), 1);
    EXPECT_NE(replaced, warm);
    EXPECT_TRUE(recordingsInFlight().isEmpty()) << recordingsInFlight().join(' ').toStdString();

    // Sentences with pauses are recognized piece by piece while the user speaks, each piece heard as "привет мир".
    const QString speech = TestEnvironment::makeDirectory(QStringLiteral("sentences")) + QStringLiteral("/speech.wav");
    ASSERT_EQ(DesktopRig::run(QStringLiteral("espeak-ng"),
                              {"-m", "-v", "ru", "-w", speech,
                               "<speak>Сегодня мы подробно обсудили план работы отдела на всю следующую неделю."
                               "<break time=\"1500ms\"/>Отчёт нужно обязательно отправить руководителю проекта "
                               "до конца пятницы.</speak>"}),
              0);
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    DesktopRig::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), speech}, nullptr, 30000);
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return SettingsStore(Paths::settingsFile()).history().size() == 4; }, 20000));
    EXPECT_TRUE(
        SettingsStore(Paths::settingsFile()).history().value(0).startsWith(QStringLiteral("Привет мир привет мир")))
        << SettingsStore(Paths::settingsFile()).history().value(0).toStdString();
    EXPECT_EQ(running(program), replaced);

    ::kill(static_cast<pid_t>(app->process().processId()), SIGTERM);
    ASSERT_TRUE(DesktopRig::finishes(app->process(), 8000));
    EXPECT_EQ(app->process().exitCode(), 0);
    EXPECT_TRUE(running(program).isEmpty());
}

TEST_F(ChildrenDesktopTest, WhenTheXServerGoesAwayTheAppStopsItsServersBeforeItEnds)
{
    QString display;
    const std::unique_ptr<QProcess> server = startXServer(&display);
    ASSERT_FALSE(display.isEmpty());
    environment.insert(QStringLiteral("DISPLAY"), display);
    ASSERT_NO_FATAL_FAILURE(startAndDictate());
    // The advisor's text was delivered: its server waits for the next phrase.
    ASSERT_TRUE(QTest::qWaitFor([] { return !SettingsStore(Paths::settingsFile()).history().isEmpty(); }, 20000))
        << app->log().toStdString();

    server->terminate();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return RunningApp::hasEnded(recognizer) && RunningApp::hasEnded(advisor); }, 2000));
    ASSERT_TRUE(DesktopRig::finishes(app->process(), 5000));
    // The session ended, nothing failed.
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process().exitCode(), 0);
    EXPECT_TRUE(app->log().contains(QStringLiteral("Связь с X-сервером потеряна — завершение работы")))
        << app->log().toStdString();
}

TEST_F(ChildrenDesktopTest, KilledInTheMiddleOfAnAdvisorAnswerTheAppLeavesNoServerRunning)
{
    // The advisor is still writing its answer when the app is killed: llama-server ignores a first SIGTERM then.
    environment.insert(QStringLiteral("FAKE_LLAMA_GENERATE_MS"), QStringLiteral("60000"));
    ASSERT_NO_FATAL_FAILURE(startAndDictate());
    ::kill(static_cast<pid_t>(app->process().processId()), SIGKILL);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return RunningApp::hasEnded(recognizer) && RunningApp::hasEnded(advisor); }, 2000));
}

TEST_F(ChildrenDesktopTest, OnlyTheUserReachesTheServersAndNoCommandLineHoldsTheUsersWords)
{
    const QString prompt = QStringLiteral("Переписка отдела Зефирова");
    const QString spelling = QStringLiteral("Кваркоград");
    settings.insert(SettingsKey::prompt, prompt);
    TestFiles::write(Paths::dataDir() + QStringLiteral("/corrections.json"), R"({"кварк город": "Кваркоград"})");
    ASSERT_NO_FATAL_FAILURE(startAndDictate());

    // Every local user can read a command line.
    for (const qint64 child : {recognizer, advisor}) {
        const QString commandLine =
            QString::fromUtf8(TestFiles::read(QStringLiteral("/proc/%1/cmdline").arg(child)).replace('\0', ' '));
        ASSERT_FALSE(commandLine.isEmpty()) << child;
        EXPECT_FALSE(commandLine.contains(prompt)) << commandLine.toStdString();
        EXPECT_FALSE(commandLine.contains(spelling)) << commandLine.toStdString();
        EXPECT_FALSE(commandLine.contains(QLatin1String("--port"))) << commandLine.toStdString();
    }

    // Each server listens on a socket that its user alone may connect to.
    const auto socketOf = [](qint64 child, const QByteArray& flag) {
        const QList<QByteArray> words = TestFiles::read(QStringLiteral("/proc/%1/cmdline").arg(child)).split('\0');
        return QString::fromUtf8(words.value(words.indexOf(flag) + 1));
    };
    const QString connect = QStringLiteral("import socket, sys\n"
                                           "try:\n    socket.socket(socket.AF_UNIX).connect(sys.argv[1])\n"
                                           "except OSError as error:\n    sys.exit(type(error).__name__)\n");
    for (const QString& socket : {socketOf(recognizer, "--socket"), socketOf(advisor, "--host")}) {
        ASSERT_TRUE(socket.endsWith(QLatin1String(".sock"))) << socket.toStdString();
        EXPECT_EQ(DesktopRig::run(QStringLiteral("/usr/bin/python3"), {"-c", connect, socket}), 0)
            << socket.toStdString();
        if (::getuid() != 0)
            continue;
        // Another user: refused at the private folder, whatever the socket's own mode.
        const auto other =
            DesktopRig::start(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups",
                                                          "/usr/bin/python3", "-c", connect, socket});
        ASSERT_TRUE(DesktopRig::finishes(*other));
        EXPECT_EQ(other->exitCode(), 1);
        EXPECT_EQ(other->readAllStandardError().trimmed(), "PermissionError");
    }
}
