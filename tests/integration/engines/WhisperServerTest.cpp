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
#include <QProcess>
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

class WhisperServerProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnvironment::freshHome();
        workDir = TestEnvironment::makeDirectory(QStringLiteral("whisper-%1").arg(++runs));
        recordDir = workDir + "/record";
        model = TestFiles::write(workDir + "/ggml-test.bin", "model");
        setVariable("TOLVAN_WHISPER_BIN", FAKE_WHISPER_SERVER);
        setVariable("FAKE_WHISPER_RECORD_DIR", recordDir);
        timing.probePauseMs = 50;
        timing.terminationGraceMs = 500;
        server.onState = [this](const State& state) { states.append(state); };
    }

    void TearDown() override
    {
        server.stop();
        for (const QByteArray& name : std::as_const(variables))
            qunsetenv(name.constData());
    }

    void setVariable(const QByteArray& name, const QString& value)
    {
        qputenv(name.constData(), value.toUtf8());
        variables.append(name);
    }

    void start(const QString& language = QStringLiteral("ru"), const QString& prompt = {})
    {
        server.setTiming(timing);
        server.start(model, language, prompt);
    }

    bool waitForState(State::Kind kind, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return !states.isEmpty() && states.back().kind == kind; }, timeoutMs);
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

    static QByteArray speechWav()
    {
        std::vector<int16_t> samples(16000 * 2);
        for (size_t index = 0; index < samples.size(); ++index)
            samples[index] = static_cast<int16_t>((index * 37) % 2000 - 1000);
        return WavWriter::data(samples, 16000);
    }

    static inline int runs = 0;
    QString workDir;
    QString recordDir;
    QString model;
    QList<QByteArray> variables;
    WhisperServer::Timing timing;
    WhisperServer server;
    QList<State> states;
};

} // namespace

TEST_F(WhisperServerProcess, StartsWarmsUpRecognizesAndRefusesWorkOnceStopped)
{
    const QString prompt = QStringLiteral("Толван, «диктовка»");
    start(QStringLiteral("ru"), prompt);
    EXPECT_EQ(server.state(), starting);
    ASSERT_TRUE(waitForState(State::ready));
    // stop() at the start of start() reports `stopped` first.
    EXPECT_EQ(states, (QList<State>{stopped, starting, ready}));
    const quint16 port = server.port();
    EXPECT_GT(port, 0);
    EXPECT_EQ(recordedArguments(), (QStringList{"-m", model, "--host", "127.0.0.1", "--port", QString::number(port),
                                                "-t", QString::number(ChildProcess::recognizerThreadCount()), "-l",
                                                "ru", "-sns", "--prompt", prompt}));
    EXPECT_TRUE(TestFiles::read(Paths::logDir() + "/server.log").contains("loading model from"));

    // The warm-up sent one second of silence, byte for byte in the documented form.
    const QString type = QString::fromUtf8(TestFiles::read(recordDir + "/request-1.type"));
    const QRegularExpressionMatch match =
        QRegularExpression("^multipart/form-data; boundary=(tolvan-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                           "[0-9A-F]{12})$")
            .match(type);
    ASSERT_TRUE(match.hasMatch()) << type.toStdString();
    const std::vector<int16_t> silence(16000, 0);
    EXPECT_EQ(TestFiles::read(recordDir + "/request-1.body"),
              WhisperServer::multipartBody(match.captured(1).toLatin1(), WavWriter::data(silence, 16000)));

    Result<TranscriptionResult> outcome = transcribe();
    ASSERT_TRUE(outcome.ok()) << outcome.error().description().toStdString();
    EXPECT_EQ(outcome.value().text, QStringLiteral(" Привет, это проверка диктовки. Сегодня хорошая погода и мы\n "
                                                   "пойдём гулять в парк\n Спасибо!\n"));
    ASSERT_EQ(outcome.value().segments.size(), 3u);
    // Segments the server cut mid-sentence are merged.
    EXPECT_EQ(outcome.value().segments[0].text,
              QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода и мы"));
    EXPECT_EQ(outcome.value().segments[0].endMs, 1760);
    EXPECT_EQ(outcome.value().segments[2].text, QStringLiteral("Спасибо!"));
    EXPECT_EQ(outcome.value().segments[2].startMs, 2500);
    EXPECT_TRUE(TestFiles::read(recordDir + "/request-2.body").contains(speechWav()));

    // After stop() a recognition fails at once with code 10 and sends nothing.
    server.stop();
    outcome = transcribe(false);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error(), Error::tolvan(10, QStringLiteral("сервер не запущен")));
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/request-3.body"));
}

TEST_F(WhisperServerProcess, RestartGetsANewPortAndGenerationWithoutAFailure)
{
    start(QStringLiteral("ru"), QStringLiteral("подсказка"));
    ASSERT_TRUE(waitForState(State::ready));
    const quint16 firstPort = server.port();
    const quint64 firstGeneration = server.generation();
    const qint64 firstPid = recordedPid();
    ASSERT_TRUE(processExists(firstPid));

    states.clear();
    start(QStringLiteral("en"));
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_GT(server.generation(), firstGeneration);
    EXPECT_NE(recordedPid(), firstPid);
    EXPECT_NE(server.port(), firstPort);
    // Without a prompt the command line ends with "-sns".
    EXPECT_EQ(recordedArguments().mid(8), (QStringList{"-l", "en", "-sns"}));
    EXPECT_TRUE(std::none_of(states.begin(), states.end(), [](const State& s) { return s.kind == State::failed; }));
    // The old server got SIGTERM and ended by itself.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(firstPid); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return TestFiles::read(Paths::logDir() + "/server.log").contains("Caught signal 15"); }, 2000));
    QTest::qWait(200);
    EXPECT_EQ(states.back(), ready);
}

TEST_F(WhisperServerProcess, AProbeAnsweredAfterStopChangesNothing)
{
    setVariable("FAKE_WHISPER_START_DELAY_MS", "400");
    start();
    QTest::qWait(150);
    server.stop();
    EXPECT_EQ(server.port(), 0);
    QTest::qWait(1200);
    EXPECT_EQ(states, (QList<State>{stopped, starting, stopped}));
    EXPECT_EQ(server.state(), stopped);
}

TEST_F(WhisperServerProcess, ListeningServerThatAnswers404OrFailsTheWarmUpIsStillReady)
{
    setVariable("FAKE_WHISPER_ROOT_STATUS", "404");
    setVariable("FAKE_WHISPER_WARMUP_STATUS", "500");
    start();
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_TRUE(QFileInfo::exists(recordDir + "/request-1.body"));
    EXPECT_TRUE(transcribe().ok());
}

TEST_F(WhisperServerProcess, ChildEndingOnItsOwnFailsWithItsStatus)
{
    // A missing model, and a language the real server answers with its usage and status 0.
    const QString present = model;
    for (const auto& [path, language, code] : {std::tuple{workDir + "/missing.bin", "ru", 3}, {present, "xx", 0}}) {
        model = path;
        states.clear();
        start(QString::fromLatin1(language));
        ASSERT_TRUE(waitForState(State::failed));
        EXPECT_EQ(states.back(), State::failure(QStringLiteral("процесс завершился, код %1").arg(code)));
    }

    setVariable("FAKE_WHISPER_EXIT_AFTER_MS", "1500");
    setVariable("FAKE_WHISPER_EXIT_CODE", "7");
    states.clear();
    start();
    ASSERT_TRUE(waitForState(State::ready));
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("процесс завершился, код 7")));
    // Nothing listens any more: a recognition fails with the transport's own error.
    const Result<TranscriptionResult> outcome = transcribe();
    ASSERT_FALSE(outcome.ok());
    EXPECT_FALSE(outcome.error().isTolvan());
}

TEST_F(WhisperServerProcess, MissingExecutableIsReportedWithoutStartingAnything)
{
    qunsetenv("TOLVAN_WHISPER_BIN");
    setVariable("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory("empty-resources"));
    start();
    EXPECT_EQ(server.state(), State::failure(QStringLiteral("в бандле нет whisper-server")));
    EXPECT_EQ(server.port(), 0);

    // An explicit program that does not exist fails to launch with the system's description.
    setVariable("TOLVAN_WHISPER_BIN", workDir + "/no-such-server");
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_NE(states.back().message, QStringLiteral("в бандле нет whisper-server"));
    EXPECT_FALSE(states.back().message.isEmpty());
    EXPECT_EQ(transcribe(false).error().code(), 10);
}

TEST_F(WhisperServerProcess, ServerThatNeverListensFailsAndIsKilledAfterTheGracePeriod)
{
    // The fake only notes SIGTERM while it loads its model: stop() must end it with SIGKILL.
    setVariable("FAKE_WHISPER_START_DELAY_MS", "60000");
    timing.probePauseMs = 20;
    timing.lastProbe = 5;
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("сервер не отвечает")));
    const qint64 pid = recordedPid();
    EXPECT_TRUE(processExists(pid));
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
    setVariable("FAKE_WHISPER_NEVER_ANSWER", "1");
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
    EXPECT_FALSE(outcome.error().isTolvan());
    EXPECT_EQ(outcome.error().code(), QAbstractSocket::SocketTimeoutError);
}

TEST(WhisperServerStrays, KillStraysEndsServersStartedFromTheExecutable)
{
    const QString binDir = TestEnvironment::makeDirectory("stray-bundle/bin");
    const QString copy = binDir + "/whisper-server";
    ASSERT_TRUE(QFile::copy(FAKE_WHISPER_SERVER, copy));
    const QString model = TestFiles::write(TestEnvironment::makeDirectory("stray-model") + "/m.bin", "model");
    QProcess stray;
    stray.start(copy, {"-m", model, "--port", QString::number(WhisperServer::freePort()), "-l", "ru"});
    ASSERT_TRUE(stray.waitForStarted(5000));
    QTest::qWait(200);
    ASSERT_EQ(stray.state(), QProcess::Running);

    qputenv("TOLVAN_WHISPER_BIN", copy.toUtf8());
    WhisperServer::killStrays();
    qunsetenv("TOLVAN_WHISPER_BIN");
    EXPECT_TRUE(stray.waitForFinished(3000));
}
