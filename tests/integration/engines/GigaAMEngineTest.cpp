#include "engines/GigaAMEngine.h"

#include "engines/ChildProcess.h"
#include "engines/ModelCatalog.h"
#include "engines/WavWriter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace
{

// Every GigaAM file just over its completeness threshold, sparse.
void installGigaam()
{
    const WhisperModel& model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    QDir().mkpath(model.location());
    for (int index = 0; index < model.files.size(); ++index) {
        QFile file(model.filePath(index));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(ModelCatalog::completeSizeThreshold(model.fileSizesMB[index]) + 1));
    }
}

QByteArray recording()
{
    std::vector<int16_t> samples(16000);
    for (size_t index = 0; index < samples.size(); ++index)
        samples[index] = static_cast<int16_t>(index % 300);
    return WavWriter::data(samples, 16000);
}

QStringList leftoverWavs()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("tolvan-gigaam-*.wav")}, QDir::Files);
}

// Waits for one completion, remembering the thread it ran on.
struct Outcome
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<Result<TranscriptionResult>> result;
    QThread* thread = nullptr;

    Completion<TranscriptionResult> completion()
    {
        return [this](Result<TranscriptionResult> value) {
            const std::lock_guard lock(mutex);
            result = std::move(value);
            thread = QThread::currentThread();
            arrived.notify_all();
        };
    }

    Result<TranscriptionResult> wait()
    {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, std::chrono::seconds(20), [this] { return result.has_value(); });
        return result.value_or(Error::tolvan(-1, QStringLiteral("no completion")));
    }
};

class GigaAMRecognition : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnvironment::freshHome();
        workDir = TestEnvironment::makeDirectory(QStringLiteral("gigaam-%1").arg(++runs));
        recordDir = workDir + "/record";
        setVariable("TOLVAN_SHERPA_BIN", FAKE_SHERPA_ONNX_OFFLINE);
        setVariable("FAKE_SHERPA_RECORD_DIR", recordDir);
        // A temporary directory of its own, so that leftovers are this test's alone.
        setVariable("TMPDIR", TestEnvironment::makeDirectory(QStringLiteral("gigaam-%1/tmp").arg(runs)));
        installGigaam();
    }

    void TearDown() override
    {
        for (const QByteArray& name : std::as_const(variables))
            qunsetenv(name.constData());
    }

    void setVariable(const QByteArray& name, const QString& value)
    {
        qputenv(name.constData(), value.toUtf8());
        variables.append(name);
    }

    Result<TranscriptionResult> recognize(GigaAMEngine::Timing timing = {})
    {
        GigaAMEngine engine(timing);
        Outcome outcome;
        engine.transcribe(recording(), outcome.completion());
        return outcome.wait();
    }

    static Error engineError(const QString& message) { return Error::tolvan(40, message); }

    static inline int runs = 0;
    QString workDir;
    QString recordDir;
    QList<QByteArray> variables;
};

} // namespace

TEST_F(GigaAMRecognition, RunsTheRecognizerOnATemporaryWavAndRemovesIt)
{
    GigaAMEngine engine;
    Outcome outcome;
    engine.transcribe(recording(), outcome.completion());
    const Result<TranscriptionResult> result = outcome.wait();
    ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
    EXPECT_EQ(result.value().text, QStringLiteral("привет это проверка диктовки сегодня хорошая погода"));
    EXPECT_EQ(result.value().segments.size(), 1u);
    EXPECT_NE(outcome.thread, QCoreApplication::instance()->thread());

    const QString models = ModelCatalog::byID(QStringLiteral("gigaam-v3")).location();
    const QStringList arguments = QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n');
    ASSERT_EQ(arguments.size(), 7);
    EXPECT_EQ(arguments.mid(0, 6),
              (QStringList{"--encoder=" + models + "/encoder.int8.onnx", "--decoder=" + models + "/decoder.onnx",
                           "--joiner=" + models + "/joiner.onnx", "--tokens=" + models + "/tokens.txt",
                           "--model-type=nemo_transducer",
                           QStringLiteral("--num-threads=%1").arg(ChildProcess::recognizerThreadCount())}));
    const QFileInfo wav(arguments.at(6));
    EXPECT_EQ(wav.absolutePath(), QDir::tempPath());
    EXPECT_TRUE(wav.fileName().contains(
        QRegularExpression("^tolvan-gigaam-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.wav$")))
        << wav.fileName().toStdString();
    EXPECT_EQ(TestFiles::read(recordDir + "/input.wav"), recording());
    EXPECT_FALSE(wav.exists());
    EXPECT_TRUE(leftoverWavs().isEmpty());
}

TEST_F(GigaAMRecognition, RecognitionsRunOneAfterAnother)
{
    setVariable("FAKE_SHERPA_HANG_MS", "300");
    GigaAMEngine engine;
    std::mutex mutex;
    std::condition_variable finished;
    QStringList order;
    QString wavSeenByFirst;
    QString wavOfFirst;
    for (const char* name : {"first", "second"}) {
        engine.transcribe(recording(), [&, name](const Result<TranscriptionResult>& result) {
            EXPECT_TRUE(result.ok());
            const std::lock_guard lock(mutex);
            // Had the second recognition started already, it would have overwritten the recorded arguments.
            if (QLatin1String(name) == QLatin1String("first"))
                wavSeenByFirst = QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n').value(6);
            order.append(name);
            finished.notify_all();
        });
    }
    std::unique_lock lock(mutex);
    ASSERT_TRUE(finished.wait_for(lock, std::chrono::seconds(20), [&] { return order.size() == 2; }));
    EXPECT_EQ(order, (QStringList{"first", "second"}));
    EXPECT_NE(QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n').value(6), wavSeenByFirst);
}

TEST_F(GigaAMRecognition, ModelThatIsNotDownloaded)
{
    QFile::remove(ModelCatalog::byID(QStringLiteral("gigaam-v3")).filePath(3));
    const Result<TranscriptionResult> result = recognize();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), engineError(QStringLiteral("модель GigaAM не загружена")));
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/args.txt"));
}

TEST_F(GigaAMRecognition, MissingRecognizer)
{
    qunsetenv("TOLVAN_SHERPA_BIN");
    setVariable("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory("no-resources"));
    Result<TranscriptionResult> result = recognize();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), engineError(QStringLiteral("в бандле нет sherpa-onnx (переустановите приложение)")));

    // An explicit program is used unchecked: its absence is the system's launch error.
    setVariable("TOLVAN_SHERPA_BIN", workDir + "/no-such-recognizer");
    result = recognize();
    ASSERT_FALSE(result.ok());
    EXPECT_FALSE(result.error().isTolvan());
    EXPECT_TRUE(leftoverWavs().isEmpty());
}

TEST_F(GigaAMRecognition, NonZeroExitStatus)
{
    setVariable("FAKE_SHERPA_EXIT_CODE", "3");
    const Result<TranscriptionResult> result = recognize();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), engineError(QStringLiteral("sherpa-onnx завершился с кодом 3")));
}

TEST_F(GigaAMRecognition, ScriptedOutputs)
{
    const QString output = workDir + "/output.txt";
    setVariable("FAKE_SHERPA_OUTPUT_FILE", output);

    TestFiles::write(output, "");
    EXPECT_EQ(recognize().error(), engineError(QStringLiteral("не удалось разобрать ответ sherpa-onnx")));

    TestFiles::write(output, QByteArray("{\"text\": \"\xd0\"}\n", 14));
    EXPECT_EQ(recognize().error(), engineError(QStringLiteral("пустой вывод sherpa-onnx")));

    TestFiles::write(output, R"({"lang": "", "text": "да нет", "timestamps": [0.1, 0.2], "tokens":["да"]})"
                             "\n");
    Result<TranscriptionResult> result = recognize();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), (TranscriptionResult{QStringLiteral("да нет"), {}}));

    TestFiles::write(output, R"({"lang": "", "text": "да"})"
                             "\n");
    result = recognize();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), (TranscriptionResult{QStringLiteral("да"), {}}));
}

TEST_F(GigaAMRecognition, OlderRecognizerPrintingOnStandardErrorIsNotUnderstood)
{
    setVariable("FAKE_SHERPA_LEGACY", "1");
    EXPECT_EQ(recognize().error(), engineError(QStringLiteral("не удалось разобрать ответ sherpa-onnx")));
}

TEST_F(GigaAMRecognition, WatchdogTerminatesAndThenKillsAHungRecognizer)
{
    setVariable("FAKE_SHERPA_HANG_MS", "20000");
    GigaAMEngine::Timing timing;
    timing.watchdogMs = 300;
    timing.terminationGraceMs = 300;
    EXPECT_EQ(recognize(timing).error(), engineError(QStringLiteral("sherpa-onnx завершился с кодом 15")));

    // Long enough for the recognizer to have set itself to ignore SIGTERM.
    setVariable("FAKE_SHERPA_IGNORE_TERM", "1");
    timing.watchdogMs = 1500;
    EXPECT_EQ(recognize(timing).error(), engineError(QStringLiteral("sherpa-onnx завершился с кодом 9")));
    EXPECT_TRUE(leftoverWavs().isEmpty());
}

TEST_F(GigaAMRecognition, CommandLineModePrintsTextOrJson)
{
    const QString wav = TestFiles::write(workDir + "/speech.wav", recording());
    ProcessOutput output = runTolvan({QStringLiteral("--gigaam-test"), wav});
    ASSERT_TRUE(output.finished);
    EXPECT_EQ(output.exitCode, 0);
    EXPECT_EQ(output.outLines(),
              (QStringList{QStringLiteral("ТЕКСТ: привет это проверка диктовки сегодня хорошая погода"),
                           QStringLiteral("СЕГМЕНТОВ: 1"),
                           QStringLiteral("  [240–4240 мс] привет это проверка диктовки сегодня хорошая погода")}));

    output = runTolvan({QStringLiteral("--gigaam-test"), wav, QStringLiteral("--json")});
    ASSERT_TRUE(output.finished);
    EXPECT_EQ(output.exitCode, 0);
    const QJsonDocument json = QJsonDocument::fromJson(output.standardOutput);
    ASSERT_TRUE(json.isArray()) << output.out().toStdString();
    EXPECT_EQ(json.array(),
              (QJsonArray{QJsonObject{
                  {"text", "привет это проверка диктовки сегодня хорошая погода"}, {"start", 240}, {"end", 4240}}}));

    // "--json" first stands where the file belongs.
    output = runTolvan({QStringLiteral("--gigaam-test"), QStringLiteral("--json"), wav});
    ASSERT_TRUE(output.finished);
    EXPECT_EQ(output.exitCode, 1);
    EXPECT_EQ(output.outLines(), QStringList{QStringLiteral("не удалось прочитать wav")});
}

TEST_F(GigaAMRecognition, CommandLineModeReportsTheEnginesError)
{
    const QString wav = TestFiles::write(workDir + "/speech.wav", recording());
    setVariable("FAKE_SHERPA_EXIT_CODE", "255");
    const ProcessOutput output = runTolvan({QStringLiteral("--gigaam-test"), wav, QStringLiteral("--json")});
    ASSERT_TRUE(output.finished);
    EXPECT_EQ(output.exitCode, 1);
    EXPECT_EQ(output.outLines(), QStringList{QStringLiteral("ОШИБКА: sherpa-onnx завершился с кодом 255")});
}
