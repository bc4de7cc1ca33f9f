#include "engines/WhisperServer.h"

#include "core/Paths.h"
#include "engines/ChildProcess.h"
#include "engines/WavWriter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QAbstractSocket>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

void PrintTo(const WhisperServer::State& state, std::ostream* stream)
{
    *stream << "State(" << state.kind << ", \"" << state.message.toStdString() << "\")";
}

namespace
{

using State = WhisperServer::State;

const State starting{State::starting, {}};
const State ready{State::ready, {}};
const State stopped{State::stopped, {}};

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

QByteArray speechWav()
{
    return TestFiles::read(TestEnvironment::fixture(QStringLiteral("whisper-server/speech_ru_16k.wav")));
}

// Against the fake whisper-server; each test runs in a process of its own, so variables need no clean-up.
class WhisperServerProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        workDir = TestEnvironment::makeDirectory(QStringLiteral("whisper"));
        recordDir = workDir + "/record";
        model = TestFiles::write(workDir + "/ggml-test.bin", "model");
        qputenv("TOLVAN_WHISPER_BIN", FAKE_WHISPER_SERVER);
        qputenv("FAKE_WHISPER_RECORD_DIR", recordDir.toUtf8());
        timing.probePauseMs = 50;
        timing.terminationGraceMs = 500;
        server.onState = [this](const State& state) { states.append(state); };
    }

    void TearDown() override { server.stop(); }

    void start(const QString& language = QStringLiteral("ru"), const QString& prompt = {})
    {
        states.clear();
        server.setTiming(timing);
        server.start(model, language, prompt);
    }

    bool waitForState(State::Kind kind)
    {
        return QTest::qWaitFor([&] { return !states.isEmpty() && states.back().kind == kind; }, 10000);
    }

    // The recognition's outcome; `wait` false requires it to arrive at once.
    Result<TranscriptionResult> transcribe(bool wait = true)
    {
        std::optional<Result<TranscriptionResult>> outcome;
        server.transcribe(speechWav(), [&](const Result<TranscriptionResult>& result) { outcome = result; });
        if (wait) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
        }
        return outcome.value_or(Error::tolvan(-1, QStringLiteral("no completion")));
    }

    QStringList recordedArguments() const
    {
        return QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n');
    }
    qint64 recordedPid() const { return TestFiles::read(recordDir + "/pid.txt").toLongLong(); }
    static QByteArray serverLog() { return TestFiles::read(Paths::logDir() + "/server.log"); }

    QString workDir;
    QString recordDir;
    QString model;
    WhisperServer::Timing timing;
    WhisperServer server;
    QList<State> states;
};

} // namespace

TEST_F(WhisperServerProcess, StartsWarmsUpRecognizesRestartsAndRefusesWorkOnceStopped)
{
    const QString prompt = QStringLiteral("Толван, «диктовка»");
    start(QStringLiteral("ru"), prompt);
    EXPECT_EQ(server.state(), starting);
    ASSERT_TRUE(waitForState(State::ready));
    // stop() at the start of start() reports `stopped` first.
    EXPECT_EQ(states, (QList<State>{stopped, starting, ready}));
    EXPECT_EQ(
        recordedArguments(),
        (QStringList{"-m", model, "--host", "127.0.0.1", "--port", QString::number(server.port()), "-t",
                     QString::number(ChildProcess::recognizerThreadCount()), "-l", "ru", "-sns", "--prompt", prompt}));
    EXPECT_TRUE(serverLog().contains("loading model from"));

    // The warm-up sent one second of silence, byte for byte in the documented form.
    const QString type = QString::fromUtf8(TestFiles::read(recordDir + "/request-1.type"));
    const QRegularExpressionMatch match =
        QRegularExpression("^multipart/form-data; boundary=(tolvan-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                           "[0-9A-F]{12})$")
            .match(type);
    ASSERT_TRUE(match.hasMatch()) << type.toStdString();
    EXPECT_EQ(TestFiles::read(recordDir + "/request-1.body"),
              WhisperServer::multipartBody(match.captured(1).toLatin1(),
                                           WavWriter::data(std::vector<int16_t>(16000, 0), 16000)));

    Result<TranscriptionResult> outcome = transcribe();
    ASSERT_TRUE(outcome.ok()) << outcome.error().description().toStdString();
    EXPECT_EQ(outcome.value().text, QStringLiteral(" Привет, это проверка диктовки. Сегодня хорошая погода и мы\n "
                                                   "пойдём гулять в парк\n Спасибо!\n"));
    EXPECT_TRUE(TestFiles::read(recordDir + "/request-2.body").contains(speechWav()));

    // Starting again while running: a new process, port and generation, and no failure in between.
    const quint16 firstPort = server.port();
    const quint64 firstGeneration = server.generation();
    const qint64 firstPid = recordedPid();
    start(QStringLiteral("en"));
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_GT(server.generation(), firstGeneration);
    EXPECT_NE(recordedPid(), firstPid);
    EXPECT_NE(server.port(), firstPort);
    // Without a prompt the command line ends with "-sns".
    EXPECT_EQ(recordedArguments().mid(8), (QStringList{"-l", "en", "-sns"}));
    // The old server got SIGTERM and ended by itself; its exit changes nothing.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(firstPid); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([] { return serverLog().contains("Caught signal 15"); }, 2000));
    QTest::qWait(200);
    EXPECT_EQ(states, (QList<State>{stopped, starting, ready}));

    // After stop() a recognition fails at once with code 10 and sends nothing (the new server numbers its
    // requests from 1 again).
    QFile::remove(recordDir + "/request-2.body");
    server.stop();
    outcome = transcribe(false);
    EXPECT_EQ(outcome.error(), Error::tolvan(10, QStringLiteral("сервер не запущен")));
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/request-2.body"));
}

TEST_F(WhisperServerProcess, ChildEndingOnItsOwnFailsWithItsStatus)
{
    // A listening server that answers GET / with 404 and fails the warm-up is still ready.
    qputenv("FAKE_WHISPER_ROOT_STATUS", "404");
    qputenv("FAKE_WHISPER_WARMUP_STATUS", "500");
    // A missing model, a language the real server answers with its usage and status 0, an exit later on.
    const QString present = model;
    for (const auto& [path, language, code] :
         {std::tuple{workDir + "/missing.bin", "ru", 3}, {present, "xx", 0}, {present, "ru", 7}}) {
        if (code == 7) {
            qputenv("FAKE_WHISPER_EXIT_AFTER_MS", "1500");
            qputenv("FAKE_WHISPER_EXIT_CODE", "7");
        }
        model = path;
        start(QString::fromLatin1(language));
        ASSERT_TRUE(waitForState(State::failed));
        EXPECT_EQ(states.back(), State::failure(QStringLiteral("процесс завершился, код %1").arg(code)));
    }
    EXPECT_TRUE(states.contains(ready));
    EXPECT_TRUE(QFileInfo::exists(recordDir + "/request-1.body"));
    // Nothing listens any more: a recognition fails with the transport's own error.
    const Result<TranscriptionResult> outcome = transcribe();
    ASSERT_FALSE(outcome.ok());
    EXPECT_FALSE(outcome.error().isTolvan());
}

TEST_F(WhisperServerProcess, MissingExecutableIsReportedWithoutStartingAnything)
{
    qunsetenv("TOLVAN_WHISPER_BIN");
    qputenv("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory("empty-resources").toUtf8());
    start();
    EXPECT_EQ(server.state(), State::failure(QStringLiteral("в бандле нет whisper-server")));
    EXPECT_EQ(server.port(), 0);

    // An explicit program that does not exist fails to launch with the system's description.
    qputenv("TOLVAN_WHISPER_BIN", (workDir + "/no-such-server").toUtf8());
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_NE(states.back().message, QStringLiteral("в бандле нет whisper-server"));
    EXPECT_FALSE(states.back().message.isEmpty());
    EXPECT_EQ(transcribe(false).error().code(), 10);
}

TEST_F(WhisperServerProcess, ServerThatNeverListensFailsAndIsKilledAfterTheGracePeriod)
{
    // The fake only notes SIGTERM while it loads its model: stop() must end it with SIGKILL.
    qputenv("FAKE_WHISPER_START_DELAY_MS", "60000");
    timing.probePauseMs = 20;
    timing.lastProbe = 5;
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("сервер не отвечает")));
    const qint64 pid = recordedPid();
    server.stop();
    EXPECT_EQ(server.state(), stopped);
    QTest::qWait(200);
    EXPECT_TRUE(processExists(pid));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, 3000));
    QTest::qWait(100);
    EXPECT_EQ(states.back(), stopped);
}

TEST_F(WhisperServerProcess, ServerThatAcceptsButNeverAnswersTimesOut)
{
    qputenv("FAKE_WHISPER_NEVER_ANSWER", "1");
    timing.probeTimeoutMs = 100;
    timing.probePauseMs = 20;
    timing.lastProbe = 2;
    timing.requestTimeoutMs = 200;
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("сервер не отвечает")));

    // Once it listens, a recognition waits for the request timeout and fails with it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, server.port());
            return socket.waitForConnected(100);
        },
        10000));
    const Result<TranscriptionResult> outcome = transcribe();
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error().code(), QAbstractSocket::SocketTimeoutError);
}
