#include "engines/GigaAMEngine.h"

#include "audio/WavWriter.h"
#include "children/ChildProcess.h"
#include "engines/ModelCatalog.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <future>

namespace
{

QByteArray recording()
{
    std::vector<int16_t> samples(16000);
    for (size_t index = 0; index < samples.size(); ++index)
        samples[index] = static_cast<int16_t>(index % 300);
    return WavWriter::data(samples, 16000);
}

// Whatever recognitions left in the runtime and the temporary directory.
QStringList leftovers()
{
    QStringList names;
    for (const QString& directory : {qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath()}) {
        if (!directory.isEmpty())
            names += QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    return names;
}

// Starts a recognition; `onDone` runs first thing in its completion.
std::future<Result<TranscriptionResult>> transcribe(GigaAMEngine& engine, const std::function<void()>& onDone = {})
{
    auto promise = std::make_shared<std::promise<Result<TranscriptionResult>>>();
    engine.transcribe(recording(), [promise, onDone](Result<TranscriptionResult> result) {
        if (onDone)
            onDone();
        promise->set_value(std::move(result));
    });
    return promise->get_future();
}

Result<TranscriptionResult> resultOf(std::future<Result<TranscriptionResult>>& future)
{
    if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        return Error::tolvan(-1, QStringLiteral("no completion"));
    return future.get();
}

// Each test runs in a process of its own, so variables need no clean-up.
class GigaAMRecognition : public ::testing::Test
{
protected:
    void SetUp() override
    {
        workDir = TestEnvironment::makeDirectory(QStringLiteral("gigaam"));
        recordDir = workDir + "/record";
        qputenv("TOLVAN_SHERPA_BIN", FAKE_SHERPA_ONNX_OFFLINE);
        qputenv("FAKE_SHERPA_RECORD_DIR", recordDir.toUtf8());
        // A temporary directory of its own, so that leftovers are this test's alone.
        qputenv("TMPDIR", TestEnvironment::makeDirectory(QStringLiteral("gigaam/tmp")).toUtf8());
        // Every GigaAM file just over its completeness threshold, sparse.
        const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
        QDir().mkpath(model.location());
        for (int index = 0; index < model.files.size(); ++index) {
            QFile file(model.filePath(index));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_TRUE(file.resize(ModelCatalog::completeSizeThreshold(model.fileSizesMB[index]) + 1));
        }
    }

    static Result<TranscriptionResult> recognize(GigaAMEngine::Timing timing = {})
    {
        GigaAMEngine engine(timing);
        auto future = transcribe(engine);
        return resultOf(future);
    }

    QStringList recordedArguments() const
    {
        return QString::fromUtf8(TestFiles::read(recordDir + "/args.txt")).split('\n');
    }

    static Error engineError(const QString& message) { return Error::tolvan(40, message); }

    QString workDir;
    QString recordDir;
};

} // namespace

TEST_F(GigaAMRecognition, RunsTheRecognizerOnAPrivateTemporaryWavOneRecognitionAfterAnother)
{
    const QString text = QStringLiteral("привет это проверка диктовки сегодня хорошая погода");
    const QString models = ModelCatalog::byID(QStringLiteral("gigaam-v3")).location();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    qputenv("FAKE_SHERPA_HANG_MS", "300");
    // In a directory of its own in the session's runtime directory, or else the temporary one.
    for (const QString& expectedBase : {runtime, QDir::tempPath()}) {
        // Two at once: each completion notes the WAV of the last recognizer started, so had the second started
        // early, the first would see the second's WAV.
        GigaAMEngine engine;
        QStringList completions;
        QThread* completionThread = nullptr;
        auto first = transcribe(engine, [&] { completions << "1 " + recordedArguments().value(6); });
        auto second = transcribe(engine, [&] {
            completions << "2 " + recordedArguments().value(6);
            completionThread = QThread::currentThread();
        });
        ASSERT_TRUE(resultOf(first).ok());
        const Result<TranscriptionResult> result = resultOf(second);
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        ASSERT_EQ(completions.size(), 2);
        EXPECT_TRUE(completions[0].startsWith("1 ") && completions[1].startsWith("2 "));
        EXPECT_NE(completions[0].mid(2), completions[1].mid(2));
        EXPECT_EQ(result.value().text, text);
        EXPECT_NE(completionThread, QCoreApplication::instance()->thread());
        const QStringList arguments = recordedArguments();
        ASSERT_EQ(arguments.size(), 7);
        EXPECT_EQ(arguments.mid(0, 6),
                  (QStringList{"--encoder=" + models + "/encoder.int8.onnx", "--decoder=" + models + "/decoder.onnx",
                               "--joiner=" + models + "/joiner.onnx", "--tokens=" + models + "/tokens.txt",
                               "--model-type=nemo_transducer",
                               QStringLiteral("--num-threads=%1").arg(ChildProcess::recognizerThreadCount())}));
        const QFileInfo wav(arguments.at(6));
        EXPECT_TRUE(wav.fileName().contains(
            QRegularExpression("^tolvan-gigaam-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.wav$")))
            << wav.fileName().toStdString();
        EXPECT_EQ(QFileInfo(wav.absolutePath()).absolutePath(), expectedBase);
        EXPECT_EQ(TestFiles::read(recordDir + "/input.wav"), recording());
        EXPECT_EQ(TestFiles::read(recordDir + "/input-modes.txt"), "600 700");
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
        qunsetenv("XDG_RUNTIME_DIR");
    }
}

TEST_F(GigaAMRecognition, FailuresNameTheirCauseAndAHungRecognizerIsTerminatedThenKilled)
{
    // A model that is not downloaded stops the recognition before anything runs.
    const QString tokens = ModelCatalog::byID(QStringLiteral("gigaam-v3")).filePath(3);
    ASSERT_TRUE(QFile::rename(tokens, tokens + ".away"));
    EXPECT_EQ(recognize().error(), engineError(QStringLiteral("модель GigaAM не загружена")));
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/args.txt"));
    ASSERT_TRUE(QFile::rename(tokens + ".away", tokens));

    qputenv("FAKE_SHERPA_EXIT_CODE", "3");
    EXPECT_EQ(recognize().error(), engineError(QStringLiteral("sherpa-onnx завершился с кодом 3")));
    qunsetenv("FAKE_SHERPA_EXIT_CODE");

    qputenv("FAKE_SHERPA_HANG_MS", "20000");
    GigaAMEngine::Timing timing{.watchdogMs = 300, .terminationGraceMs = 300};
    EXPECT_EQ(recognize(timing).error(), engineError(QStringLiteral("sherpa-onnx завершился с кодом 15")));
    // Long enough for the recognizer to have set itself to ignore SIGTERM.
    qputenv("FAKE_SHERPA_IGNORE_TERM", "1");
    timing.watchdogMs = 1500;
    EXPECT_EQ(recognize(timing).error(), engineError(QStringLiteral("sherpa-onnx завершился с кодом 9")));

    qunsetenv("TOLVAN_SHERPA_BIN");
    qputenv("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory("no-resources").toUtf8());
    EXPECT_EQ(recognize().error(), engineError(QStringLiteral("в бандле нет sherpa-onnx (переустановите приложение)")));
    // An explicit program is used unchecked: its absence is the system's launch error.
    qputenv("TOLVAN_SHERPA_BIN", (workDir + "/no-such-recognizer").toUtf8());
    const Result<TranscriptionResult> result = recognize();
    ASSERT_FALSE(result.ok());
    EXPECT_FALSE(result.error().isTolvan());
    EXPECT_TRUE(leftovers().isEmpty());
}
