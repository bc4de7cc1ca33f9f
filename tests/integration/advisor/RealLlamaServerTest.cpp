#include "children/ChildProcess.h"
#include "children/ChildServer.h"
#include "children/LocalHttp.h"
#include "core/Paths.h"
#include "quality/AdvisorEngine.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using State = AdvisorEngine::State;

// llama.cpp's own llama-server, which scripts/build-llama-server.sh puts into the build tree, found where the bundle
// keeps it, with a generated Qwen3 model of toy size whose chat answer is fixed (make-tiny-qwen3.py). The fake
// covers the failures; this covers the real program's command line, readiness, answer and ending.
TEST(RealLlamaServer, StartsAnswersThroughTheAdvisorStopsWhenIdleAndStraysAreEnded)
{
    const QString built = QStringLiteral(REAL_LLAMA_SERVER);
    if (!QFileInfo(built).isExecutable())
        GTEST_SKIP() << "llama-server was not built (scripts/build-llama-server.sh BUILD_TREE puts it at "
                     << built.toStdString() << ")";
    TestEnvironment::freshHome();
    // A bundle of its own: an app started meanwhile by a desktop test ends whatever runs the build tree's copy.
    const QString resources = TestEnvironment::makeDirectory("llama-bundle");
    const QString server = resources + "/llama/bin/llama-server";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(server).absolutePath()) && QFile::copy(built, server));
    qputenv("TOLVAN_RESOURCES_DIR", resources.toUtf8());
    qunsetenv("TOLVAN_LLAMA_BIN");
    QDir().mkpath(Paths::advisorModelsDir());
    const QString model = Paths::advisorModelsDir() + "/" + AdvisorEngine::modelFileName;
    // The processes that run that file (a zombie's executable cannot be read).
    const auto running = [&] {
        QStringList pids = QDir("/proc").entryList(QDir::Dirs);
        pids.removeIf([&](const QString& pid) { return QFileInfo("/proc/" + pid + "/exe").symLinkTarget() != server; });
        return pids;
    };
    const ProcessOutput made = runProgram("/usr/bin/python3", {TINY_QWEN3_GENERATOR, model});
    ASSERT_EQ(made.exitCode, 0) << made.err().toStdString();

    AdvisorEngine engine({.server = {.probePauseMs = 20}, .requestTimeoutMs = 60000, .idleShutdownMs = 1500},
                         {.presentAbove = 1000, .acceptedAbove = 500, .assumedTotal = 4000});
    QList<State> states;
    QObject::connect(&engine, &AdvisorEngine::stateChanged, [&](const State& state) { states.append(state); });
    std::optional<Result<AdvisorEngine::Advice>> outcome;
    engine.suggest("ну привет всем", QStringLiteral("business"), 8, true,
                   [&](Result<AdvisorEngine::Advice> result) { outcome = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 60000));
    const QString log = QString::fromUtf8(TestFiles::read(Paths::logDir() + "/advisor.log"));
    ASSERT_TRUE(outcome->ok()) << outcome->error().description().toStdString() << "\n" << log.toStdString();
    EXPECT_EQ(outcome->value(), (AdvisorEngine::Advice{4, QStringLiteral("Добрый день, коллеги."), false}));
    // The server took our flags: the threads (more than this machine's default) and its socket.
    EXPECT_TRUE(log.contains(QStringLiteral("n_threads = %1").arg(ChildProcess::recognizerThreadCount())));
    EXPECT_TRUE(log.contains(engine.socketPath())) << log.toStdString();

    ASSERT_EQ(running().size(), 1);
    // It took the key from its environment, which only this user can read, and answers nobody without it.
    const QList<QByteArray> environment = TestFiles::read("/proc/" + running().front() + "/environ").split('\0');
    EXPECT_TRUE(std::any_of(environment.begin(), environment.end(),
                            [](const QByteArray& entry) { return entry.startsWith("LLAMA_API_KEY="); }));
    LocalHttp::Request chat;
    chat.method = "POST";
    chat.path = "/v1/chat/completions";
    chat.body = {"{}"};
    std::optional<Result<LocalHttp::Answer>> refused;
    LocalHttp::send(&engine, engine.socketPath(), chat, [&](const auto& answer) { refused = answer; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.has_value(); }, 10000));
    ASSERT_TRUE(refused->ok());
    EXPECT_EQ(refused->value().status, 401);
    EXPECT_TRUE(refused->value().body.contains("Invalid API Key")) << refused->value().body.toStdString();

    // No further phrase: the server is stopped and leaves nothing behind.
    const State idle{State::idle, 0, {}};
    EXPECT_TRUE(QTest::qWaitFor([&] { return !states.isEmpty() && states.back() == idle; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return running().isEmpty(); }, 10000));
    EXPECT_TRUE(engine.socketPath().isEmpty());
    EXPECT_TRUE(TestEnvironment::appLog().contains("Советник: остановлен по простою"));

    // One left running by an earlier run of the app is ended at the next start.
    QProcess stray;
    stray.setStandardErrorFile(QProcess::nullDevice());
    stray.start(server, AdvisorEngine::serverArguments(
                            model, TestEnvironment::makeDirectory("stray") + "/llama-server.sock", 1));
    ASSERT_TRUE(stray.waitForStarted());
    AdvisorEngine::endStrays();
    EXPECT_TRUE(stray.waitForFinished(10000));
    EXPECT_TRUE(TestEnvironment::appLog().contains("Советник: остановлено оставшихся llama-server: 1"));
}
