#include "engines/WhisperServer.h"

#include "app/Log.h"
#include "app/Paths.h"
#include "engines/ChildProcess.h"
#include "engines/WavWriter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QAbstractSocket>
#include <QDir>
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
        WhisperServer::Timing timing;
        timing.probePauseMs = 50;
        timing.terminationGraceMs = 500;
        server.setTiming(timing);
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

    bool waitForState(State::Kind kind, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return !states.isEmpty() && states.back().kind == kind; }, timeoutMs);
    }

    std::optional<Result<TranscriptionResult>> transcribeNow(const QByteArray& wav)
    {
        std::optional<Result<TranscriptionResult>> outcome;
        server.transcribe(wav, [&](const Result<TranscriptionResult>& result) { outcome = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
        return outcome;
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
    WhisperServer server;
    QList<State> states;
};

const State starting{State::starting, {}};
const State ready{State::ready, {}};
const State stopped{State::stopped, {}};

} // namespace

TEST_F(WhisperServerProcess, StartsWarmsUpAndBecomesReady)
{
    server.start(model, QStringLiteral("ru"), QString());
    EXPECT_EQ(server.state(), starting);
    ASSERT_TRUE(waitForState(State::ready));
    // stop() at the start of start() reports `stopped` first.
    EXPECT_EQ(states, (QList<State>{stopped, starting, ready}));

    const quint16 port = server.port();
    EXPECT_GT(port, 0);
    EXPECT_EQ(recordedArguments(),
              (QStringList{"-m", model, "--host", "127.0.0.1", "--port", QString::number(port), "-t",
                           QString::number(ChildProcess::recognizerThreadCount()), "-l", "ru", "-sns"}));

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

    const QString log = QString::fromUtf8(TestFiles::read(Log::directory() + "/app.log"));
    EXPECT_TRUE(log.contains(QStringLiteral("whisper-server: порт %1, модель ggml-test.bin, язык ru").arg(port)));
    EXPECT_TRUE(log.contains("whisper-server готов (прогрет)"));
    EXPECT_TRUE(QString::fromUtf8(TestFiles::read(Paths::logDir() + "/server.log")).contains("loading model from"));
}

TEST_F(WhisperServerProcess, RecognizesARecordingWithTheServersAnswer)
{
    server.start(model, QStringLiteral("ru"), QStringLiteral("Толван, «диктовка»"));
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_EQ(recordedArguments().mid(10), (QStringList{"-sns", "--prompt", "Толван, «диктовка»"}));

    const auto outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value());
    ASSERT_TRUE(outcome->ok()) << outcome->error().description().toStdString();
    const TranscriptionResult& result = outcome->value();
    EXPECT_EQ(result.text, QStringLiteral(" Привет, это проверка диктовки. Сегодня хорошая погода и мы\n пойдём "
                                          "гулять в парк\n Спасибо!\n"));
    ASSERT_EQ(result.segments.size(), 3u);
    EXPECT_EQ(result.segments[2].text, QStringLiteral("Спасибо!"));
    EXPECT_EQ(result.segments[2].startMs, 2500);
    EXPECT_TRUE(TestFiles::read(recordDir + "/request-2.body").contains(speechWav()));
}

TEST_F(WhisperServerProcess, RestartGetsANewPortAndGenerationWithoutAFailure)
{
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    const quint16 firstPort = server.port();
    const quint64 firstGeneration = server.generation();
    const qint64 firstPid = recordedPid();
    ASSERT_TRUE(processExists(firstPid));

    states.clear();
    server.start(model, QStringLiteral("en"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_GT(server.generation(), firstGeneration);
    EXPECT_NE(recordedPid(), firstPid);
    EXPECT_NE(server.port(), firstPort);
    EXPECT_EQ(recordedArguments().at(9), QStringLiteral("en"));
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
    server.start(model, QStringLiteral("ru"), QString());
    QTest::qWait(150);
    server.stop();
    EXPECT_EQ(server.port(), 0);
    QTest::qWait(1200);
    EXPECT_EQ(states, (QList<State>{stopped, starting, stopped}));
    EXPECT_EQ(server.state(), stopped);
}

TEST_F(WhisperServerProcess, TranscribeAfterStopFailsAtOnceWithCodeTen)
{
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    server.stop();
    std::optional<Result<TranscriptionResult>> outcome;
    server.transcribe(speechWav(), [&](const Result<TranscriptionResult>& result) { outcome = result; });
    ASSERT_TRUE(outcome.has_value());
    ASSERT_FALSE(outcome->ok());
    EXPECT_EQ(outcome->error(), Error::tolvan(10, QStringLiteral("сервер не запущен")));
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/request-2.body"));
}

TEST_F(WhisperServerProcess, ListeningServerThatAnswers404OrFailsTheWarmUpIsStillReady)
{
    setVariable("FAKE_WHISPER_ROOT_STATUS", "404");
    setVariable("FAKE_WHISPER_WARMUP_STATUS", "500");
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_TRUE(QFileInfo::exists(recordDir + "/request-1.body"));
    const auto outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value() && outcome->ok());
}

TEST_F(WhisperServerProcess, ChildExitingOnItsOwnFailsWithItsStatus)
{
    setVariable("FAKE_WHISPER_EXIT_AFTER_MS", "1500");
    setVariable("FAKE_WHISPER_EXIT_CODE", "7");
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("процесс завершился, код 7")));
    EXPECT_TRUE(
        QString::fromUtf8(TestFiles::read(Log::directory() + "/app.log")).contains("whisper-server упал, код 7"));

    // Nothing listens any more: a recognition fails with the transport's own error.
    const auto outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value());
    ASSERT_FALSE(outcome->ok());
    EXPECT_FALSE(outcome->error().isTolvan());
}

TEST_F(WhisperServerProcess, MissingModelAndUnknownLanguageEndTheServer)
{
    server.start(workDir + "/missing.bin", QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("процесс завершился, код 3")));

    // The real server answers a language it does not know with its usage and status 0.
    states.clear();
    server.start(model, QStringLiteral("xx"), QString());
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("процесс завершился, код 0")));
}

TEST_F(WhisperServerProcess, MissingExecutableIsReportedWithoutStartingAnything)
{
    qunsetenv("TOLVAN_WHISPER_BIN");
    setVariable("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory("empty-resources"));
    server.start(model, QStringLiteral("ru"), QString());
    EXPECT_EQ(server.state(), State::failure(QStringLiteral("в бандле нет whisper-server")));
    EXPECT_EQ(server.port(), 0);

    // An explicit program that does not exist fails to launch with the system's description.
    setVariable("TOLVAN_WHISPER_BIN", workDir + "/no-such-server");
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_NE(states.back().message, QStringLiteral("в бандле нет whisper-server"));
    EXPECT_FALSE(states.back().message.isEmpty());
    std::optional<Result<TranscriptionResult>> outcome;
    server.transcribe(speechWav(), [&](const Result<TranscriptionResult>& result) { outcome = result; });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->error().code(), 10);
}

TEST_F(WhisperServerProcess, ServerThatNeverListensFailsAfterTheLastProbe)
{
    setVariable("FAKE_WHISPER_START_DELAY_MS", "60000");
    WhisperServer::Timing timing;
    timing.probePauseMs = 20;
    timing.lastProbe = 5;
    timing.terminationGraceMs = 500;
    server.setTiming(timing);
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("сервер не отвечает")));
    const qint64 pid = recordedPid();
    EXPECT_TRUE(processExists(pid));
    server.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, 3000));
}

TEST_F(WhisperServerProcess, ServerThatAcceptsButNeverAnswersTimesOut)
{
    setVariable("FAKE_WHISPER_NEVER_ANSWER", "1");
    WhisperServer::Timing timing;
    timing.probeTimeoutMs = 100;
    timing.probePauseMs = 20;
    timing.lastProbe = 2;
    timing.requestTimeoutMs = 200;
    timing.terminationGraceMs = 500;
    server.setTiming(timing);
    server.start(model, QStringLiteral("ru"), QString());
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
    const auto outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value());
    ASSERT_FALSE(outcome->ok());
    EXPECT_FALSE(outcome->error().isTolvan());
    EXPECT_EQ(outcome->error().code(), QAbstractSocket::SocketTimeoutError);
}

TEST_F(WhisperServerProcess, ChildIgnoringTerminationIsKilledAfterTheGracePeriod)
{
    setVariable("FAKE_WHISPER_IGNORE_TERM", "1");
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    const qint64 pid = recordedPid();
    server.stop();
    EXPECT_EQ(server.state(), stopped);
    QTest::qWait(200);
    EXPECT_TRUE(processExists(pid));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, 3000));
    QTest::qWait(100);
    EXPECT_EQ(states.back(), stopped);
}

TEST_F(WhisperServerProcess, AnswersAreInterpretedEndToEnd)
{
    const QString plain = TestFiles::write(workDir + "/plain.txt", "привет");
    setVariable("FAKE_WHISPER_ANSWER_FILE", plain);
    setVariable("FAKE_WHISPER_ANSWER_TYPE", "text/html; charset=utf-8");
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    auto outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value() && outcome->ok());
    EXPECT_EQ(outcome->value(), (TranscriptionResult{QStringLiteral("привет"), {}}));

    TestFiles::write(plain, QByteArray("\xff\xfe garbage \xc3", 13));
    outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value() && !outcome->ok());
    EXPECT_EQ(outcome->error(), Error::tolvan(12, QStringLiteral("не удалось разобрать ответ")));

    TestFiles::write(plain, QByteArray());
    outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value() && !outcome->ok());
    EXPECT_EQ(outcome->error(), Error::tolvan(11, QStringLiteral("пустой ответ")));
}

TEST_F(WhisperServerProcess, ErrorStatusCarriesTheStartOfTheBody)
{
    QByteArray body;
    for (int index = 0; index < 1000; ++index)
        body += static_cast<char>('a' + index % 26);
    setVariable("FAKE_WHISPER_ANSWER_FILE", TestFiles::write(workDir + "/busy.txt", body));
    setVariable("FAKE_WHISPER_ANSWER_STATUS", "503");
    server.start(model, QStringLiteral("ru"), QString());
    ASSERT_TRUE(waitForState(State::ready));
    const auto outcome = transcribeNow(speechWav());
    ASSERT_TRUE(outcome.has_value() && !outcome->ok());
    EXPECT_EQ(outcome->error().code(), 503);
    EXPECT_EQ(outcome->error().description(), "HTTP 503: " + QString::fromLatin1(body.left(300)));
}

TEST(WhisperServerStrays, KillStraysEndsServersStartedFromTheExecutable)
{
    const QString binDir = TestEnvironment::makeDirectory("stray-bundle/bin");
    const QString copy = binDir + "/whisper-server";
    ASSERT_TRUE(QFile::copy(FAKE_WHISPER_SERVER, copy));
    const QString model = TestEnvironment::makeDirectory("stray-model") + "/m.bin";
    TestFiles::write(model, "model");
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
