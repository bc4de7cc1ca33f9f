#include "RunningApp.h"
#include "engines/CustomModels.h"
#include "quality/AdvisorEngine.h"

#include <QFileInfo>

#include <csignal>

namespace
{

const QString advisorAnswer = QStringLiteral("ОЦЕНКА: 3\nТЕКСТ: Привет, это проверка.");

// An X server of the test's own, which it can end as a logout ends the session's.
class PrivateXServer
{
public:
    PrivateXServer()
    {
        // The server writes the display number it chose to standard output once it accepts connections. Without
        // -noreset it would reset, refusing connections for a moment, when the app's first probe disconnects.
        process_.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (process_.waitForStarted(5000) && QTest::qWaitFor([this] { return process_.canReadLine(); }, 10000))
            name_ = QLatin1Char(':') + QString::fromLatin1(process_.readLine().trimmed());
    }
    ~PrivateXServer() { end(); }

    // ":N", or empty when the server did not come up.
    const QString& name() const { return name_; }
    void end()
    {
        process_.terminate();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    QString name_;
};

// The process id of the parent's child of this name; 0 when there is none.
qint64 child(qint64 parent, const QString& name)
{
    QString found;
    DesktopSession::run(QStringLiteral("pgrep"),
                        {QStringLiteral("-P"), QString::number(parent), QStringLiteral("-x"), name}, &found);
    return found.trimmed().toLongLong();
}

// The real whisper-server with the scripted tiny model, the advisor rewriting every phrase with the fake
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
            GTEST_SKIP() << "whisper-server was not built (scripts/build-whisper-server.sh BUILD_TREE puts it at "
                         << whisperServer.toStdString() << ")";
        const QString model = QStringLiteral("ggml-scripted-tiny-ru.bin");
        QDir().mkpath(Paths::modelsDir() + QStringLiteral("/custom"));
        ASSERT_TRUE(QFile::copy(TestEnvironment::fixture(QStringLiteral("whisper-server/") + model),
                                Paths::modelsDir() + QStringLiteral("/custom/") + model));
        settings.insert(SettingsKey::modelID, CustomModels::idPrefix + model);
        QFile advisorModel(
            TestFiles::write(Paths::advisorModelsDir() + QLatin1Char('/') + AdvisorEngine::modelFileName, "GGUF"));
        ASSERT_TRUE(advisorModel.resize(2'000'000'000));
        environment.insert(QStringLiteral("TOLVAN_WHISPER_BIN"), whisperServer);
        environment.insert(QStringLiteral("TOLVAN_LLAMA_BIN"), QStringLiteral(TOLVAN_FAKES_DIR "/llama-server"));
        environment.insert(QStringLiteral("FAKE_LLAMA_RECORD_DIR"), advisorRecord);
        environment.insert(QStringLiteral("FAKE_LLAMA_CONTENT"), advisorAnswer);
    }

    // A phrase dictated with the command line's toggle, which starts the advisor.
    static void dictate()
    {
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        RunningApp::say(QStringLiteral("Привет, это проверка диктовки."));
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    }

    qint64 advisorPid() const { return TestFiles::read(advisorRecord + QStringLiteral("/pids.txt")).toLongLong(); }
    bool advisorAsked() const { return QFileInfo::exists(advisorRecord + QStringLiteral("/request-1.json")); }

    const QString whisperServer = QStringLiteral(REAL_WHISPER_SERVER);
    const QString advisorRecord = TestEnvironment::makeDirectory(QStringLiteral("llama"));
    QProcessEnvironment environment;
    QVariantHash settings{{SettingsKey::speechQuality, QStringLiteral("autopilot")},
                          {SettingsKey::styleAdvisor, true},
                          {SettingsKey::recognizeWhileRecording, false}};
};

} // namespace

TEST_F(ChildrenDesktopTest, WhenTheXServerGoesAwayTheAppStopsItsServersBeforeItEnds)
{
    PrivateXServer display;
    ASSERT_FALSE(display.name().isEmpty());
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    RunningApp app(environment, settings);
    ASSERT_TRUE(app.waitUntilReady(30000)) << app.log().toStdString();
    const qint64 recognizer = child(app.process().processId(), QStringLiteral("whisper-server"));
    ASSERT_GT(recognizer, 0);
    dictate();
    // The advisor answered and its text was pasted: its server waits for the next phrase.
    ASSERT_TRUE(app.logShows(QStringLiteral("Нажатие клавиш отправлено"), 20000)) << app.log().toStdString();
    ASSERT_TRUE(advisorAsked());
    const qint64 advisor = advisorPid();
    ASSERT_GT(advisor, 0);

    display.end();
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(recognizer); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(advisor); }, 2000));
    ASSERT_TRUE(DesktopSession::finishes(app.process(), 5000));
    EXPECT_EQ(app.process().exitCode(), 1);
    EXPECT_TRUE(app.log().contains(QStringLiteral("Связь с X-сервером потеряна — завершение работы")))
        << app.log().toStdString();
}

TEST_F(ChildrenDesktopTest, KilledInTheMiddleOfAnAdvisorAnswerTheAppLeavesNoServerRunning)
{
    // The advisor is still writing its answer when the app is killed: llama-server ignores a first SIGTERM then.
    environment.insert(QStringLiteral("FAKE_LLAMA_GENERATE_MS"), QStringLiteral("60000"));
    RunningApp app(environment, settings);
    ASSERT_TRUE(app.waitUntilReady(30000)) << app.log().toStdString();
    const qint64 recognizer = child(app.process().processId(), QStringLiteral("whisper-server"));
    ASSERT_GT(recognizer, 0);
    dictate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return advisorAsked(); }, 20000)) << app.log().toStdString();
    const qint64 advisor = advisorPid();
    ASSERT_GT(advisor, 0);

    ::kill(static_cast<pid_t>(app.process().processId()), SIGKILL);
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(recognizer); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(advisor); }, 2000));
}
