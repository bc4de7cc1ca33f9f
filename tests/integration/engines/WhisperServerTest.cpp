#include "engines/WhisperServer.h"

#include "audio/WavWriter.h"
#include "children/ChildProcess.h"
#include "children/LocalHttp.h"
#include "core/Paths.h"
#include "core/Resources.h"
#include "engines/WhisperGpu.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>

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
        timing.server.probePauseMs = 50;
        timing.server.terminationGraceMs = 500;
        QObject::connect(&server, &WhisperServer::stateChanged, [this](const State& state) { states.append(state); });
    }

    void TearDown() override { server.stop(); }

    void start(const QString& language = QStringLiteral("ru"), const QString& prompt = {})
    {
        states.clear();
        server.setTiming(timing);
        server.start(model, language, prompt);
    }

    bool waitForState(State::Kind kind, int timeoutMs = 30000)
    {
        return QTest::qWaitFor([&] { return !states.isEmpty() && states.back().kind == kind; }, timeoutMs);
    }

    // The recognition's outcome; `wait` false requires it to arrive at once.
    Result<TranscriptionResult> transcribe(bool wait = true, int timeoutMs = 30000)
    {
        std::optional<Result<TranscriptionResult>> outcome;
        server.transcribe(speechWav(), [&](const Result<TranscriptionResult>& result) { outcome = result; });
        if (wait) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, timeoutMs));
        }
        return outcome.value_or(Error::tolvan(-1, QStringLiteral("no completion")));
    }

    QStringList recordedArguments() const
    {
        return QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n');
    }
    qint64 recordedPid() const { return TestFiles::read(recordDir + "/pid.txt").toLongLong(); }
    static QByteArray serverLog() { return TestFiles::read(Paths::logDir() + "/server.log"); }

    // The JSON answer to one recognition request with this multipart body, sent straight to the server.
    QJsonObject post(const QByteArray& boundary, const QByteArray& body)
    {
        LocalHttp::Request request;
        request.method = "POST";
        request.path = "/inference";
        request.contentType = "multipart/form-data; boundary=" + boundary;
        request.body = {body};
        std::optional<Result<LocalHttp::Answer>> answer;
        QObject context;
        LocalHttp::send(&context, server.socketPath(), request,
                        [&](const Result<LocalHttp::Answer>& result) { answer = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000));
        EXPECT_TRUE(answer && answer->ok() && answer->value().status == 200);
        return answer && answer->ok() ? QJsonDocument::fromJson(answer->value().body).object() : QJsonObject();
    }

    QString workDir;
    QString recordDir;
    QString model;
    WhisperServer::Timing timing;
    WhisperServer server;
    QList<State> states;
};

// whisper.cpp's own whisper-server, built by scripts/build-whisper-server.sh into the build tree, with a tiny model
// whose decoder writes the same two Russian sentences whatever it hears (with timestamps, at a token probability of
// about 0.98). The fake covers the failures; this covers what only the real program can show: its answers to our
// requests and its way of ending.
class RealWhisperServer : public WhisperServerProcess
{
protected:
    void SetUp() override
    {
        runBuilt(QStringLiteral(REAL_WHISPER_SERVER), "scripts/build-whisper-server.sh BUILD_TREE");
    }

    void runBuilt(const QString& program, const char* builtBy)
    {
        WhisperServerProcess::SetUp();
        if (!QFileInfo(program).isExecutable())
            GTEST_SKIP() << program.toStdString() << " was not built (" << builtBy << ")";
        // A copy of its own: an app that a desktop test starts meanwhile ends whatever runs the build tree's
        // server file, as strays of an earlier run.
        const QString copy = workDir + u'/' + QFileInfo(program).fileName();
        ASSERT_TRUE(QFile::copy(program, copy));
        qputenv("TOLVAN_WHISPER_BIN", copy.toUtf8());
        model = TestEnvironment::fixture(QStringLiteral("whisper-server/ggml-scripted-tiny-ru.bin"));
        timing.server.terminationGraceMs = 5000;
    }
};

// The same program built with ggml's Vulkan backend, on Mesa's software renderer, which the app never chooses for it
// but which computes the same way a GPU's driver does.
class RealVulkanWhisperServer : public RealWhisperServer
{
protected:
    void SetUp() override
    {
        runBuilt(QStringLiteral(REAL_WHISPER_SERVER_VULKAN), "scripts/build-whisper-server.sh --vulkan BUILD_TREE");
    }
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
    // The prompt is the user's: never on the command line, which every local user can read.
    EXPECT_EQ(recordedArguments(),
              (QStringList{"-m", model, "--socket", server.socketPath(), "-t",
                           QString::number(ChildProcess::recognizerThreadCount()), "-l", "ru", "-sns"}));
    const QByteArray promptField = "name=\"prompt\"\r\n\r\n" + prompt.toUtf8() + "\r\n";

    // The warm-up sent one second of silence.
    EXPECT_TRUE(TestFiles::read(recordDir + "/request-1.body")
                    .contains(WavWriter::data(std::vector<int16_t>(16000, 0), 16000)));

    Result<TranscriptionResult> outcome = transcribe();
    ASSERT_TRUE(outcome.ok()) << outcome.error().description().toStdString();
    EXPECT_TRUE(TestFiles::read(recordDir + "/request-2.body").contains(speechWav()));
    EXPECT_TRUE(TestFiles::read(recordDir + "/request-2.body").contains(promptField));

    // Starting again while running: a new process, and no failure in between.
    const qint64 firstPid = recordedPid();
    start(QStringLiteral("en"));
    ASSERT_TRUE(waitForState(State::ready));
    EXPECT_NE(recordedPid(), firstPid);
    EXPECT_EQ(recordedArguments().mid(6), (QStringList{"-l", "en", "-sns"}));
    // The old server got SIGTERM and ended by itself; its exit changes nothing.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(firstPid); }, 5000));
    // A recognition's round trip runs the event loop well past the old child's exit notice.
    ASSERT_TRUE(transcribe().ok());
    EXPECT_EQ(states, (QList<State>{stopped, starting, ready}));
    // Started without a prompt, the server gets none.
    EXPECT_FALSE(TestFiles::read(recordDir + "/request-2.body").contains("name=\"prompt\""));

    // After stop() a recognition fails at once.
    server.stop();
    outcome = transcribe(false);
    EXPECT_EQ(outcome.error(), Error::tolvan(10, QStringLiteral("сервер не запущен")));
}

TEST_F(WhisperServerProcess, ChildEndingOnItsOwnOrMissingFailsWithItsCause)
{
    // A listening server that fails the warm-up is still ready.
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
    // No server listens any more, so a recognition is not sent anywhere.
    EXPECT_EQ(transcribe(false).error(), ChildServer::notRunning());

    qunsetenv("TOLVAN_WHISPER_BIN");
    qputenv("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory("empty-resources").toUtf8());
    start();
    EXPECT_EQ(server.state(), State::failure(QStringLiteral("в бандле нет whisper-server")));
    // An explicit program that does not exist fails to launch with the system's description.
    qputenv("TOLVAN_WHISPER_BIN", (workDir + "/no-such-server").toUtf8());
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_NE(states.back().message, QStringLiteral("в бандле нет whisper-server"));
    EXPECT_EQ(transcribe(false).error().code(), 10);
}

TEST_F(WhisperServerProcess, ServerThatNeverListensFailsIsKilledAfterTheGracePeriodAndOnlyThenReplaced)
{
    // The fake only notes SIGTERM while it loads its model: stop() must end it with SIGKILL.
    qputenv("FAKE_WHISPER_START_DELAY_MS", "60000");
    timing.server.probePauseMs = 20;
    timing.server.probeCount = 6;
    start();
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("сервер не отвечает")));
    const qint64 pid = recordedPid();
    server.stop();
    EXPECT_EQ(server.state(), stopped);

    // Started again at once, the next process waits until the killed one is gone: never two models in memory.
    qunsetenv("FAKE_WHISPER_START_DELAY_MS");
    start();
    bool together = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const bool replaced = recordedPid() > 0 && recordedPid() != pid;
            together = together || (replaced && processExists(pid));
            return replaced;
        },
        3000));
    EXPECT_FALSE(together);
    EXPECT_FALSE(processExists(pid));
    EXPECT_TRUE(waitForState(State::ready));
}

TEST_F(WhisperServerProcess, ListensInAFolderOfTheUsersAloneAndIsEndedWhenItAnswersTooMuch)
{
    // The fake reads its answer anew for every request; the warm-up's is empty.
    const QString endless = workDir + QStringLiteral("/endless.json");
    qputenv("FAKE_WHISPER_ANSWER_FILE", endless.toUtf8());
    start();
    ASSERT_TRUE(waitForState(State::ready));
    struct stat socket
    {};
    ASSERT_EQ(::stat(QFile::encodeName(server.socketPath()).constData(), &socket), 0);
    EXPECT_TRUE(S_ISSOCK(socket.st_mode));
    struct stat folder
    {};
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(server.socketPath()).path()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_uid, ::getuid());
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    // A broken recognizer that answers without end is stopped before its answer fills the memory.
    TestFiles::write(endless, "{\"text\":\"" + QByteArray(40 << 20, 'a') + "\"}");
    const qint64 pid = recordedPid();
    EXPECT_EQ(transcribe().error(), LocalHttp::answerTooLarge());
    ASSERT_TRUE(waitForState(State::failed));
    EXPECT_EQ(states.back(), State::failure(QStringLiteral("сервер прислал слишком большой ответ")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, 10000));
    EXPECT_FALSE(QFileInfo::exists(server.socketPath()));
}

TEST(StrayServers, OnlyProcessesRunningTheBundledServerFileAreEnded)
{
    // Stand-ins that wait for a signal: in two bundles, the server file, and a server file replaced while it
    // runs; outside them, the server that TOLVAN_WHISPER_BIN names.
    const QString root = TestEnvironment::makeDirectory(QStringLiteral("strays"));
    const auto serverIn = [&](const QString& bundle) { return root + "/" + bundle + "/bin/whisper-server"; };
    for (const char* bundle : {"a.b", "replaced", "elsewhere"}) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(serverIn(bundle)).path()));
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), serverIn(bundle)));
    }
    const auto started = [](const QString& program, const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
    };
    const auto stray = started(serverIn("a.b"), {"60"});
    const auto replaced = started(serverIn("replaced"), {"60"});
    const auto named = started(serverIn("elsewhere"), {"60"});
    // A pager open on the server file has its path on the command line, and is not a server.
    const auto viewer = started(QStringLiteral("/usr/bin/tail"), {"-f", serverIn("a.b")});

    // An update puts a new file where the old one was.
    ASSERT_TRUE(QFile::remove(serverIn("replaced")));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), serverIn("replaced")));
    qputenv("TOLVAN_WHISPER_BIN", serverIn("elsewhere").toUtf8());
    for (const auto& [bundle, ended] : {std::pair{"a.b", 1}, {"replaced", 1}}) {
        qputenv("TOLVAN_RESOURCES_DIR", (root + "/" + bundle).toUtf8());
        const qsizetype before = TestEnvironment::appLog().size();
        WhisperServer::endStrays();
        EXPECT_EQ(TestEnvironment::appLog().mid(before).section(u' ', 1),
                  QStringLiteral("Остановлено оставшихся whisper-server: %1\n").arg(ended))
            << bundle;
    }
    for (QProcess* process : {stray.get(), replaced.get()}) {
        EXPECT_TRUE(process->waitForFinished(5000));
        EXPECT_EQ(process->exitStatus(), QProcess::CrashExit);
    }
    for (QProcess* survivor : {named.get(), viewer.get()}) {
        EXPECT_EQ(survivor->state(), QProcess::Running);
        survivor->kill();
        survivor->waitForFinished();
    }
}

TEST_F(RealWhisperServer, StartsWithACyrillicPromptRecognizesReadsOurRequestFieldsAndEndsGracefullyOnStop)
{
    start(QStringLiteral("ru"), QStringLiteral("Толван, «диктовка», ёж"));
    ASSERT_TRUE(waitForState(State::ready)) << serverLog().toStdString();
    // The warm-up went through the model: one second of audio, in Russian.
    EXPECT_TRUE(serverLog().contains("(16000 samples, 1.0 sec)")) << serverLog().toStdString();
    EXPECT_TRUE(serverLog().contains("lang = ru"));

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
        EXPECT_NEAR(segment.avgLogprob, -0.05, 0.05) << index;
    }

    // Our request fields, sent straight to the server.
    const QByteArray boundary = "tolvan-real";
    const QByteArray body = WhisperServer::multipartBody(boundary, speechWav());
    const QJsonObject json = post(boundary, body);
    EXPECT_EQ(json.value("language").toString(), QStringLiteral("russian"));
    EXPECT_NEAR(json.value("duration").toDouble(), 3.895, 0.001);
    // No second pass of the encoder for language odds.
    EXPECT_FALSE(json.contains("language_probabilities"));

    // The same request without that field gets them: the name is the one the server reads.
    const QByteArray field =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"no_language_probabilities\"\r\n\r\ntrue\r\n";
    ASSERT_TRUE(body.contains(field));
    const QJsonObject full = post(boundary, QByteArray(body).replace(field, QByteArray()));
    EXPECT_TRUE(full.value("language_probabilities").toObject().contains("ru"));

    // A request's prompt replaces the start prompt and reaches the recognizer: one longer than whisper's tokenizer
    // takes (1024 tokens) makes it say so, which the start prompt never did.
    EXPECT_FALSE(serverLog().contains("too many resulting tokens"));
    std::optional<Result<TranscriptionResult>> prompted;
    server.transcribe(speechWav(), QStringLiteral("слово ").repeated(1500),
                      [&](const Result<TranscriptionResult>& result) { prompted = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompted.has_value(); }, 30000));
    EXPECT_TRUE(prompted->ok());
    EXPECT_TRUE(serverLog().contains("whisper_tokenize: too many resulting tokens")) << serverLog().toStdString();

    // Our build of the server loads no other model a request names, and tells no browser it may read its answers.
    QLocalSocket raw;
    raw.connectToServer(server.socketPath());
    ASSERT_TRUE(raw.waitForConnected(5000));
    const QByteArray form =
        "--b\r\nContent-Disposition: form-data; name=\"model\"\r\n\r\n" + model.toUtf8() + "\r\n--b--\r\n";
    raw.write("POST /load HTTP/1.1\r\nHost: localhost\r\nOrigin: http://example.invalid\r\nConnection: close\r\n"
              "Content-Type: multipart/form-data; boundary=b\r\nContent-Length: " +
              QByteArray::number(form.size()) + "\r\n\r\n" + form);
    QByteArray reply;
    while (raw.waitForReadyRead(5000) || raw.bytesAvailable() > 0)
        reply += raw.readAll();
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 404")) << reply.toStdString();
    EXPECT_FALSE(reply.toLower().contains("access-control-allow")) << reply.toStdString();

    // SIGTERM, not SIGKILL: the server says so on its standard output, which it writes out only when it exits.
    server.stop();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return serverLog().contains("Caught signal 15, shutting down gracefully"); }, 5000))
        << serverLog().toStdString();
}

TEST_F(RealVulkanWhisperServer, SoftwareRenderersAreNotAGpuAndTheVulkanBuildRecognizesOnOne)
{
    // Asked in a child, as the app asks: the drivers the loader lets go keep their memory, which the leak checker
    // would count against this process.
    QProcess child;
    child.start(Resources::bundledApp(), {QStringLiteral("--vulkan-devices")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QStringList devices = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    const auto software = std::find_if(devices.begin(), devices.end(), [](const QString& device) {
        return device.startsWith(QStringLiteral("программный: llvmpipe"));
    });
    if (software == devices.end())
        GTEST_SKIP() << "no Mesa software Vulkan driver (mesa-vulkan-drivers)";
    // The app's own question names the same devices, and a software renderer is no GPU.
    const qsizetype logged = TestEnvironment::appLog().size();
    EXPECT_EQ(WhisperGpu::accelerated(), std::any_of(devices.begin(), devices.end(), [](const QString& device) {
                  return device.startsWith(QStringLiteral("видеокарта: "));
              }));
    EXPECT_TRUE(TestEnvironment::appLog().mid(logged).contains(*software))
        << TestEnvironment::appLog().mid(logged).toStdString();

    // ggml passes over software renderers unless they are named.
    qputenv("GGML_VK_VISIBLE_DEVICES", QByteArray::number(software - devices.begin()));
    start();
    ASSERT_TRUE(waitForState(State::ready, 180000)) << serverLog().toStdString();
    qunsetenv("GGML_VK_VISIBLE_DEVICES");
    EXPECT_TRUE(serverLog().contains("using Vulkan0 backend")) << serverLog().toStdString();
    const Result<TranscriptionResult> outcome = transcribe(true, 180000);
    ASSERT_TRUE(outcome.ok()) << outcome.error().description().toStdString();
    EXPECT_EQ(outcome.value().text, QStringLiteral(" Привет, это проверка диктовки. Сегодня хорошая погода и мы\n"
                                                   " пойдём гулять в парк\n Спасибо!\n"));
    ASSERT_EQ(outcome.value().segments.size(), 3U);
    EXPECT_EQ(outcome.value().segments[2].endMs, 3600);
}
