// Against whisper.cpp's own whisper-server, built by scripts/build-whisper-server.sh into the build tree, with a
// tiny model whose decoder writes the same two Russian sentences whatever it hears (with timestamps, at a token
// probability of about 0.98). The fake server covers the failures; this covers what only the real program can
// show: its arguments, its answers to our requests and its way of ending.
#include "core/Paths.h"
#include "engines/LoopbackHttp.h"
#include "engines/WhisperServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace
{

using State = WhisperServer::State;

const QString realServer = QStringLiteral(REAL_WHISPER_SERVER);
const QString scriptedModel = TestEnvironment::fixture(QStringLiteral("whisper-server/ggml-scripted-tiny-ru.bin"));

// espeak-ng's «Привет, это проверка диктовки. Сегодня хорошая погода.», 16 kHz mono 16-bit, 3.895 s.
QByteArray speechWav()
{
    return TestFiles::read(TestEnvironment::fixture(QStringLiteral("whisper-server/speech_ru_16k.wav")));
}

bool listens(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

// The command line of the running process started from `program` that was given this port.
QStringList commandLineOf(const QString& program, quint16 port)
{
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
        const QStringList arguments = QString::fromUtf8(TestFiles::read(QStringLiteral("/proc/%1/cmdline").arg(entry)))
                                          .split(QLatin1Char('\0'), Qt::SkipEmptyParts);
        const qsizetype portFlag = arguments.indexOf(QStringLiteral("--port"));
        if (arguments.value(0) == program && portFlag > 0 && arguments.value(portFlag + 1) == QString::number(port))
            return arguments;
    }
    return {};
}

class RealWhisperServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(realServer).isExecutable())
            GTEST_SKIP() << "whisper-server was not built (scripts/build-whisper-server.sh BUILD_TREE puts it at "
                         << realServer.toStdString() << ")";
        qputenv("TOLVAN_WHISPER_BIN", realServer.toUtf8());
        WhisperServer::Timing timing;
        timing.probePauseMs = 50;
        server.setTiming(timing);
        server.onState = [this](const State& state) { states.append(state); };
    }

    void TearDown() override { server.stop(); }

    static QString serverLog() { return QString::fromUtf8(TestFiles::read(Paths::logDir() + "/server.log")); }

    bool startAndWaitUntilReady(const QString& prompt = {})
    {
        server.start(scriptedModel, QStringLiteral("ru"), prompt);
        const auto settled = [&] {
            return !states.isEmpty() && states.back().kind != State::starting && states.back().kind != State::stopped;
        };
        return QTest::qWaitFor(settled, 30000) && states.back().kind == State::ready;
    }

    Result<TranscriptionResult> transcribe()
    {
        std::optional<Result<TranscriptionResult>> outcome;
        server.transcribe(speechWav(), [&](const Result<TranscriptionResult>& result) { outcome = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 30000));
        return outcome.value_or(Error::tolvan(-1, QStringLiteral("no completion")));
    }

    // The JSON answer to one recognition request with this multipart body, sent straight to the server.
    QJsonObject post(const QByteArray& boundary, const QByteArray& body)
    {
        LoopbackHttp::Request request;
        request.method = "POST";
        request.path = "/inference";
        request.contentType = "multipart/form-data; boundary=" + boundary;
        request.body = {body};
        std::optional<Result<LoopbackHttp::Answer>> answer;
        QObject context;
        LoopbackHttp::send(&context, server.port(), request,
                           [&](const Result<LoopbackHttp::Answer>& result) { answer = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000));
        EXPECT_TRUE(answer && answer->ok() && answer->value().status == 200);
        return answer && answer->ok() ? QJsonDocument::fromJson(answer->value().body).object() : QJsonObject();
    }

    WhisperServer server;
    QList<State> states;
};

} // namespace

TEST_F(RealWhisperServer, StartsWithACyrillicPromptRecognizesAndEndsGracefullyOnStop)
{
    const QString prompt = QStringLiteral("Толван, «диктовка», ёж");
    ASSERT_TRUE(startAndWaitUntilReady(prompt)) << serverLog().toStdString();
    const quint16 port = server.port();
    const QStringList commandLine = commandLineOf(realServer, port);
    EXPECT_EQ(commandLine.mid(commandLine.indexOf(QStringLiteral("--prompt"))), (QStringList{"--prompt", prompt}));
    // The warm-up went through the model: one second of audio, in Russian.
    EXPECT_TRUE(serverLog().contains(QStringLiteral("(16000 samples, 1.0 sec)"))) << serverLog().toStdString();
    EXPECT_TRUE(serverLog().contains(QStringLiteral("lang = ru")));

    const Result<TranscriptionResult> outcome = transcribe();
    ASSERT_TRUE(outcome.ok()) << outcome.error().description().toStdString();
    EXPECT_EQ(outcome.value().text, QStringLiteral(" Привет, это проверка диктовки. Сегодня хорошая погода и мы\n"
                                                   " пойдём гулять в парк\n Спасибо!\n"));
    // The server wraps verbose_json segments at 60 characters; the times are its centiseconds.
    const std::vector<std::tuple<QString, int64_t, int64_t>> expected{
        {"Привет, это проверка диктовки. Сегодня хорошая погода и мы", 0, 1760},
        {"пойдём гулять в парк", 1760, 2400},
        {"Спасибо!", 2500, 3600}};
    ASSERT_EQ(outcome.value().segments.size(), expected.size());
    for (size_t index = 0; index < expected.size(); ++index) {
        const SpeechSegment& segment = outcome.value().segments[index];
        EXPECT_EQ(std::tuple(segment.text, segment.startMs, segment.endMs), expected[index]) << index;
        // Tokens at about 0.98 each.
        EXPECT_LT(segment.avgLogprob, 0) << index;
        EXPECT_GT(segment.avgLogprob, -0.1) << index;
    }

    server.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !listens(port); }, 5000));
    // SIGTERM, not SIGKILL: the server says so on its standard output, which it writes out only when it exits.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return serverLog().contains("Caught signal 15, shutting down gracefully"); }, 5000))
        << serverLog().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return commandLineOf(realServer, port).isEmpty(); }, 5000));
}

TEST_F(RealWhisperServer, TheServerReadsTheRequestFieldsWeSend)
{
    ASSERT_TRUE(startAndWaitUntilReady()) << serverLog().toStdString();
    const QByteArray boundary = "tolvan-real";
    const QByteArray body = WhisperServer::multipartBody(boundary, speechWav());
    const QJsonObject json = post(boundary, body);
    EXPECT_EQ(json.value("language").toString(), QStringLiteral("russian"));
    EXPECT_NEAR(json.value("duration").toDouble(), 3.895, 0.001);
    // No second pass of the encoder for language odds.
    EXPECT_FALSE(json.contains("language_probabilities"));
    EXPECT_FALSE(json.contains("detected_language"));

    // The same request without that field gets them: the name is the one the server reads.
    const QByteArray field =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"no_language_probabilities\"\r\n\r\ntrue\r\n";
    ASSERT_TRUE(body.contains(field));
    const QJsonObject full = post(boundary, QByteArray(body).replace(field, QByteArray()));
    EXPECT_TRUE(full.value("language_probabilities").toObject().contains("ru"));
}

TEST_F(RealWhisperServer, KillStraysEndsAServerLeftByAnEarlierRunAndSparesOthers)
{
    // A server of an earlier run, started from the bundle that TOLVAN_WHISPER_BIN will name.
    const QString bundled = TestEnvironment::makeDirectory(QStringLiteral("earlier/bin")) + "/whisper-server";
    ASSERT_TRUE(QFile::copy(realServer, bundled));
    const quint16 strayPort = WhisperServer::freePort();
    QProcess stray;
    stray.setStandardOutputFile(QProcess::nullDevice());
    stray.setStandardErrorFile(QProcess::nullDevice());
    stray.start(bundled, {"-m", scriptedModel, "--host", "127.0.0.1", "--port", QString::number(strayPort), "-t", "2",
                          "-l", "ru"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return listens(strayPort); }, 20000));
    // Ours runs from another executable and must survive.
    ASSERT_TRUE(startAndWaitUntilReady()) << serverLog().toStdString();

    qputenv("TOLVAN_WHISPER_BIN", bundled.toUtf8());
    WhisperServer::killStrays();
    qputenv("TOLVAN_WHISPER_BIN", realServer.toUtf8());
    ASSERT_TRUE(stray.waitForFinished(5000));
    EXPECT_EQ(stray.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(stray.exitCode(), 0);
    EXPECT_EQ(server.state().kind, State::ready);
    EXPECT_TRUE(transcribe().ok());
}
