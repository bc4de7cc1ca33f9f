#include "children/ChildProcess.h"
#include "children/LocalHttp.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "quality/AdvisorEngine.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace
{

using State = AdvisorEngine::State;
using Advice = AdvisorEngine::Advice;
using Outcome = std::shared_ptr<std::optional<Result<Advice>>>;

bool processExists(qint64 pid)
{
    const QByteArray status = TestFiles::read(QStringLiteral("/proc/%1/status").arg(pid));
    // A zombie has exited already; it only waits to be reaped.
    return pid > 0 && !status.isEmpty() && !status.contains("State:\tZ");
}

const State starting{State::starting, 0, {}};
const State ready{State::ready, 0, {}};
const State idle{State::idle, 0, {}};
const QString notStarted = QStringLiteral("советник не запустился");

class AdvisorServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnvironment::freshHome();
        recordDir = TestEnvironment::makeDirectory(QStringLiteral("llama-%1").arg(++runs));
        setVariable("TOLVAN_LLAMA_BIN", FAKE_LLAMA_SERVER);
        setVariable("FAKE_LLAMA_RECORD_DIR", recordDir);
        QFile model(TestFiles::write(Paths::advisorModelsDir() + "/" + AdvisorEngine::modelFileName, "GGUF"));
        ASSERT_TRUE(model.resize(sizes.presentAbove + 1));
    }

    void TearDown() override
    {
        if (engine)
            engine->shutdown();
        engine.reset();
        for (const QByteArray& name : std::as_const(variables))
            qunsetenv(name.constData());
    }

    void setVariable(const QByteArray& name, const QString& value)
    {
        qputenv(name.constData(), value.toUtf8());
        variables.append(name);
    }

    void makeEngine()
    {
        engine = std::make_unique<AdvisorEngine>(timing, sizes);
        QObject::connect(engine.get(), &AdvisorEngine::stateChanged,
                         [this](const State& state) { states.append(state); });
    }

    Outcome ask(const QString& text, std::optional<QString> style = QStringLiteral("neutral"),
                std::optional<qint64> intensity = 5, bool force = true)
    {
        auto outcome = std::make_shared<std::optional<Result<Advice>>>();
        engine->suggest(text, style, intensity, force, [outcome](Result<Advice> result) { *outcome = result; });
        return outcome;
    }

    static bool waitFor(const Outcome& outcome, int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return outcome->has_value(); }, timeoutMs);
    }

    // Asks and waits; a phrase left unanswered comes back as a "test timed out" error.
    Result<Advice> answer(const QString& text)
    {
        const Outcome outcome = ask(text);
        return waitFor(outcome) ? **outcome : Result<Advice>(Error::tolvan(0, "test timed out"));
    }

    bool waitForState(const State& state, int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return !states.isEmpty() && states.back() == state; }, timeoutMs);
    }

    QList<qint64> launchedPids() const
    {
        QList<qint64> pids;
        for (const QByteArray& line : TestFiles::read(recordDir + "/pids.txt").split('\n')) {
            if (!line.isEmpty())
                pids.append(line.toLongLong());
        }
        return pids;
    }

    // The keys each start of the server was given, in order.
    QList<QByteArray> keys() const { return TestFiles::read(recordDir + "/api-keys.txt").trimmed().split('\n'); }

    // What the server answers a chat request that carries no key.
    int statusWithoutKey() const
    {
        LocalHttp::Request chat;
        chat.method = "POST";
        chat.path = "/v1/chat/completions";
        chat.body = {"{}"};
        std::optional<Result<LocalHttp::Answer>> answer;
        QObject context;
        LocalHttp::send(&context, engine->socketPath(), chat, [&](const auto& result) { answer = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
        return answer && answer->ok() ? answer->value().status : 0;
    }

    QByteArray request(int number) const
    {
        return TestFiles::read(QStringLiteral("%1/request-%2.json").arg(recordDir).arg(number));
    }

    static inline int runs = 0;
    QString recordDir;
    QList<QByteArray> variables;
    AdvisorEngine::Timing timing{
        .server = {.probeTimeoutMs = 1000, .probePauseMs = 20, .probeCount = 500, .terminationGraceMs = 300},
        .requestTimeoutMs = 20000};
    AdvisorEngine::ModelSizes sizes{.presentAbove = 1000, .acceptedAbove = 500, .assumedTotal = 4000};
    std::unique_ptr<AdvisorEngine> engine;
    QList<State> states;
};

} // namespace

TEST_F(AdvisorServer, StartsOneServerForTwoPhrasesAndAnswers)
{
    setVariable("FAKE_LLAMA_LOAD_MS", "400");
    setVariable("FAKE_LLAMA_CONTENT", " ОЦЕНКА: 4\nТЕКСТ: Добрый день, коллеги.");
    makeEngine();
    EXPECT_EQ(engine->state(), idle);

    // The second phrase comes while the server is starting and waits for the same process.
    const auto first = ask("ну привет всем", QStringLiteral("business"), 8);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->state() == starting; }, 5000));
    const auto second = ask("ну привет всем", QStringLiteral("business"), 8);
    ASSERT_TRUE(waitFor(first) && waitFor(second));
    ASSERT_TRUE((*first)->ok()) << (*first)->error().description().toStdString();
    EXPECT_EQ((*first)->value(), (Advice{4, "Добрый день, коллеги.", false}));
    EXPECT_TRUE((*second)->ok());

    // The command line, exactly.
    const QStringList arguments = QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n');
    EXPECT_EQ(arguments,
              (QStringList{"-m", engine->modelPath(), "--host", engine->socketPath(), "-c", "2048", "-t",
                           QString::number(ChildProcess::recognizerThreadCount()), "-ngl", "99", "--jinja"}));
    EXPECT_TRUE(engine->socketPath().endsWith(QLatin1String(".sock")));

    // The server wants a key, given outside its command line (above), where other users cannot read it.
    EXPECT_EQ(statusWithoutKey(), 401);
    EXPECT_EQ(keys().value(0).size(), 64);

    // The request is the documented chat body (its bytes are checked in the unit tests).
    EXPECT_EQ(request(1), AdvisorText::chatRequestBody("ну привет всем", "business", 8));

    // Asking for the model again keeps the running server, and a second phrase reuses it.
    engine->downloadModel();
    EXPECT_EQ(engine->state(), ready);
    EXPECT_TRUE(answer("второй раз").ok());
    EXPECT_EQ(launchedPids().size(), 1);
    EXPECT_EQ(request(3), AdvisorText::chatRequestBody("второй раз", "neutral", 5));
}

TEST_F(AdvisorServer, SettingsChooseStyleAndIntensity)
{
    makeEngine();
    SettingsStore::shared().setString(SettingsKey::advisorStyle, "legal");
    SettingsStore::shared().setInteger(SettingsKey::advisorIntensity, 9);

    // Off, and not forced: refused before suggest returns, nothing started.
    const auto refused = ask("текст", std::nullopt, std::nullopt, false);
    ASSERT_TRUE(refused->has_value());
    ASSERT_FALSE((*refused)->ok());
    EXPECT_EQ((*refused)->error().description(), "советник выключен");

    SettingsStore::shared().setBool(SettingsKey::styleAdvisor, true);
    const auto outcome = ask("договор подпишем завтра", std::nullopt, std::nullopt, false);
    ASSERT_TRUE(waitFor(outcome) && (*outcome)->ok());
    EXPECT_EQ(request(1), AdvisorText::chatRequestBody("договор подпишем завтра", "legal", 9));
}

TEST_F(AdvisorServer, ServerThatNeverBecomesReadyExitsWhileLoadingOrCannotBeStartedFails)
{
    setVariable("FAKE_LLAMA_NEVER_READY", "1");
    // Long enough for the child to be up and answering 503 before the probes give up.
    timing.server.probePauseMs = 100;
    timing.server.probeCount = 15;
    makeEngine();
    const Result<Advice> outcome = answer("фраза");
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error().description(), notStarted);
    ASSERT_TRUE(waitForState(State::failure("советник не отвечает")));

    const QList<qint64> pids = launchedPids();
    ASSERT_EQ(pids.size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pids.front()); }, 5000));
    const qsizetype failedAt = states.size() - 1;

    // The next request tries again with a fresh process. The first one was asked to stop: it did not crash
    // into a "завершился" message of its own meanwhile.
    qunsetenv("FAKE_LLAMA_NEVER_READY");
    EXPECT_TRUE(answer("ещё раз").ok());
    EXPECT_EQ(launchedPids().size(), 2);
    EXPECT_EQ(states.mid(failedAt), (QList<State>{State::failure("советник не отвечает"), starting, ready}));

    // One that exits while loading fails at once.
    setVariable("FAKE_LLAMA_NEVER_READY", "1");
    setVariable("FAKE_LLAMA_EXIT_AFTER_MS", "100");
    setVariable("FAKE_LLAMA_EXIT_CODE", "3");
    // Waiting out the probes would take far longer than the test waits.
    timing.server.probeCount = 1000000;
    makeEngine();
    const auto first = ask("раз");
    const auto second = ask("два");
    ASSERT_TRUE(waitFor(first, 10000) && waitFor(second, 10000));
    EXPECT_EQ((*first)->error().description(), notStarted);
    EXPECT_EQ((*second)->error().description(), notStarted);
    EXPECT_EQ(engine->state(), State::failure("советник завершился, код 3"));
    EXPECT_TRUE(engine->socketPath().isEmpty());
    EXPECT_EQ(launchedPids().size(), 3);

    // A named program that is not there fails the launch; no program at all leaves the engine at rest.
    setVariable("TOLVAN_LLAMA_BIN", recordDir + "/no-such-llama-server");
    makeEngine();
    EXPECT_EQ(answer("фраза").error().description(), notStarted);
    EXPECT_EQ(engine->state().kind, State::failed);
    qunsetenv("TOLVAN_LLAMA_BIN");
    setVariable("TOLVAN_RESOURCES_DIR", recordDir + "/empty-resources");
    makeEngine();
    EXPECT_EQ(answer("фраза").error().description(), notStarted);
    EXPECT_EQ(engine->state(), idle);
    EXPECT_EQ(engine->generation(), 0u);
}

TEST_F(AdvisorServer, ShutdownDuringAnAnswerKillsTheServerWithoutWaitingForIt)
{
    setVariable("FAKE_LLAMA_GENERATE_MS", "60000");
    makeEngine();
    const auto outcome = ask("фраза");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(recordDir + "/request-1.json"); }, 10000));
    const qint64 pid = launchedPids().value(0);

    engine->shutdown();
    // SIGTERM is ignored while the server generates; shutdown did not sit and wait for it.
    EXPECT_TRUE(processExists(pid));
    EXPECT_EQ(engine->state(), idle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, 5000));
    ASSERT_TRUE(waitFor(outcome));
    ASSERT_FALSE((*outcome)->ok());
    EXPECT_NE((*outcome)->error().domain(), Error::tolvanDomain);
    // The killed server is not reported as a failure, up to the next request's fresh server.
    setVariable("FAKE_LLAMA_GENERATE_MS", "0");
    EXPECT_TRUE(answer("ещё раз").ok());
    EXPECT_EQ(states, (QList<State>{starting, ready, idle, starting, ready}));
    // Each start has a key of its own.
    ASSERT_EQ(keys().size(), 2);
    EXPECT_NE(keys().front(), keys().back());
}
