// One dictation through the real controller, measured under tests/desktop/with-desktop.sh with the fake
// whisper-server: the time from Enter (finish) to the text delivered (in a focused text field, or in the history), the
// main thread's CPU time for the dictation outside recognition (WAV, post-processing, insertion) for a 60 s recording,
// and the longest stall of the main thread while a recognition takes 2 s, and the wait after Enter for 10, 30 and 60 s
// dictations with a recognizer as slow as a laptop's, and for a 10-minute one with a recognizer as slow as speech, with
// and without recognition while recording (`--ten-minutes [on|off]`: that one alone), and (`--live-text` alone) how
// long after each pause of a 60 s dictation its words show in the panel, beside how long their recognition took.
// Prints its figures; asserts nothing.
#include "audio/WavWriter.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "dictation/DictationController.h"
#include "engines/ModelCatalog.h"
#include "platform/MicrophoneCapture.h"
#include "text/TranscriptPipeline.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace
{

// A microphone that hands over a whole recording at once: a voiced tone, then nothing.
class InstantCapture : public MicrophoneCapture
{
public:
    explicit InstantCapture(const int seconds) : seconds_(seconds) {}

    Result<Done> start(const QString&, BlockHandler onBlock, EndHandler) override
    {
        std::vector<std::int16_t> block(blockSamples);
        for (std::size_t index = 0; index < block.size(); ++index)
            block[index] = static_cast<std::int16_t>(8000 * std::sin(double(index) * 0.2));
        for (int delivered = 0; delivered < seconds_ * sampleRate; delivered += blockSamples)
            onBlock(block);
        return Done{};
    }
    void stop() override {}

private:
    int seconds_;
};

// A microphone that speaks in real time: voice, then silence, over and over (by default 4 s and 1 s).
class PacedCapture : public MicrophoneCapture
{
public:
    explicit PacedCapture(const int seconds, const int voiceMs = 4000, const int silenceMs = 1000)
        : seconds_(seconds), voiceSamples_(voiceMs * 16), periodSamples_((voiceMs + silenceMs) * 16)
    {}
    ~PacedCapture() override { stop(); }

    Result<Done> start(const QString&, BlockHandler onBlock, EndHandler) override
    {
        stopping_ = false;
        worker_ = std::thread([this, onBlock = std::move(onBlock)] {
            std::vector<std::int16_t> block(blockSamples);
            const auto begin = std::chrono::steady_clock::now();
            for (int delivered = 0; delivered < seconds_ * sampleRate && !stopping_; delivered += blockSamples) {
                const bool voiced = delivered % periodSamples_ < voiceSamples_;
                for (std::size_t index = 0; index < block.size(); ++index)
                    block[index] = voiced ? static_cast<std::int16_t>(8000 * std::sin(double(index) * 0.2)) : 0;
                std::this_thread::sleep_until(
                    begin + std::chrono::microseconds(std::int64_t(delivered) * 1000000 / sampleRate));
                onBlock(block);
            }
        });
        return Done{};
    }
    void stop() override
    {
        stopping_ = true;
        if (worker_.joinable())
            worker_.join();
    }

private:
    int seconds_;
    int voiceSamples_;
    int periodSamples_;
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

struct Run
{
    double enterToTextMs = 0;
    double mainThreadCpuMs = 0;
    double longestStallMs = 0;
};

// The text has reached the user: pasted into the field, or (the field being one of the app's own windows, which
// the delivery leaves alone) put on the clipboard and into the history.
bool delivered(const QLineEdit& field)
{
    return !field.text().isEmpty() || !SettingsStore::shared().history().isEmpty();
}

void clear(QLineEdit& field)
{
    field.clear();
    SettingsStore::shared().setHistory({});
}

Run dictateOnce(DictationController& controller, QLineEdit& field)
{
    clear(field);
    controller.begin(DictationController::Source::toggle);
    QTest::qWait(50);
    QElapsedTimer sinceEnter, sinceTick;
    Run run;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestStallMs = std::max(run.longestStallMs, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    const double cpuStart = threadCpuMs();
    sinceEnter.start();
    sinceTick.start();
    ticker.start();
    controller.finish();
    if (!QTest::qWaitFor([&] { return delivered(field); }, 15000))
        std::puts("the text never arrived");
    run.enterToTextMs = double(sinceEnter.nsecsElapsed()) / 1e6;
    run.mainThreadCpuMs = threadCpuMs() - cpuStart;
    return run;
}

// The controller's own work for a minute of dictation, without the network and the window system: the
// request body, reading the answer, post-processing and the history.
double minuteOfOwnWorkCpuMs()
{
    const std::vector<std::int16_t> samples(60 * MicrophoneCapture::sampleRate, 1000);
    QJsonArray segments;
    for (int index = 0; index < 20; ++index)
        segments.append(
            QJsonObject{{"text", QStringLiteral(" ну это было предложение номер %1, короче, да.").arg(index)},
                        {"start", index * 3.0},
                        {"end", index * 3.0 + 2.5},
                        {"no_speech_prob", 0.01},
                        {"avg_logprob", -0.2}});
    const QByteArray answer = QJsonDocument(QJsonObject{{"text", QString()}, {"segments", segments}}).toJson();
    // The recorder hands over its recording as a WAV already.
    const QByteArray wav = WavWriter::data(samples, MicrophoneCapture::sampleRate);
    const double start = threadCpuMs();
    const QByteArrayList body = WhisperServer::multipartParts("tolvan-boundary", wav);
    const Result<TranscriptionResult> result = WhisperServer::interpretAnswer(200, answer);
    const QString text = TranscriptPipeline::textOf(result.value());
    SettingsStore::shared().prependToHistory(text);
    return body.isEmpty() ? 0 : threadCpuMs() - start;
}

void report(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-58s median %8.1f  max %8.1f\n", what, values[values.size() / 2], values.back());
}

// From the log: each live text's delay after its pause and its recognition time.
void reportLiveText()
{
    QFile log(Paths::logDir() + QStringLiteral("/app.log"));
    if (!log.open(QIODevice::ReadOnly))
        return;
    static const QRegularExpression line(QStringLiteral("Текст на панели через (\\d+) мс после паузы "
                                                        "\\(распознавание — (\\d+) мс\\)"));
    std::vector<double> shown, beyondRecognition;
    for (auto match = line.globalMatch(QString::fromUtf8(log.readAll())); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        shown.push_back(found.captured(1).toDouble());
        beyondRecognition.push_back(found.captured(1).toDouble() - found.captured(2).toDouble());
    }
    if (shown.empty()) {
        std::puts("no live text was shown");
        return;
    }
    std::printf("live texts: %zu\n", shown.size());
    report("pause heard to its words in the panel, ms", shown);
    report("the same, less the piece's recognition, ms", beyondRecognition);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(variable)));
    qputenv("TOLVAN_WHISPER_BIN", TOLVAN_FAKE_WHISPER);
    // Its microphones play tones, voice to the loudness rule only; the voice detector has a harness of its own.
    qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("needs an X display: run under tests/desktop/with-desktop.sh");
        return 0;
    }
    SettingsStore& settings = SettingsStore::shared();
    settings.setString(SettingsKey::speechQuality, QStringLiteral("off"));
    settings.setBool(SettingsKey::sounds, false);
    const RecognitionModel model = ModelCatalog::byID(ModelCatalog::turboModelID());
    QDir().mkpath(QFileInfo(model.filePath(0)).path());
    QFile modelFile(model.filePath(0));
    modelFile.open(QIODevice::WriteOnly);
    modelFile.resize(ModelCatalog::completeSizeThreshold(model.sizeMB) + 1);
    modelFile.close();

    QLineEdit field;
    field.resize(600, 40);
    field.show();
    field.activateWindow();
    if (!QTest::qWaitFor([&] { return field.hasFocus() && field.isActiveWindow(); }, 5000))
        std::puts("the field did not get the focus");

    const auto measure = [&](int seconds, int inferenceDelayMs, int runs) {
        qputenv("FAKE_WHISPER_INFERENCE_DELAY_MS", QByteArray::number(inferenceDelayMs));
        DictationController controller(std::make_unique<AudioRecorder>(std::make_unique<InstantCapture>(seconds)));
        controller.startServer();
        if (!QTest::qWaitFor([&] { return controller.whisperServer().state().kind == WhisperServer::State::ready; },
                             20000))
            std::puts("the server never became ready");
        std::vector<Run> all;
        for (int index = 0; index < runs; ++index)
            all.push_back(dictateOnce(controller, field));
        return all;
    };
    // Enter right after the last block: the wait for the text with and without recognition while recording.
    const auto waitAfterDictation = [&](int seconds, bool whileRecording,
                                        std::unique_ptr<MicrophoneCapture> capture = nullptr, bool instant = false) {
        SettingsStore::shared().setBool(SettingsKey::recognizeWhileRecording, whileRecording);
        DictationController controller(
            std::make_unique<AudioRecorder>(capture ? std::move(capture) : std::make_unique<PacedCapture>(seconds)));
        controller.startServer();
        if (!QTest::qWaitFor([&] { return controller.whisperServer().state().kind == WhisperServer::State::ready; },
                             20000))
            std::puts("the server never became ready");
        clear(field);
        controller.begin(DictationController::Source::toggle);
        // A microphone that hands the recording over at once has done so when begin() returns.
        QTest::qWait(instant ? 1000 : seconds * 1000 + 100);
        QElapsedTimer wait;
        wait.start();
        controller.finish();
        if (!QTest::qWaitFor([&] { return delivered(field); }, 2 * seconds * 1000 + 120000))
            std::printf("the text never arrived (%s)\n", qPrintable(QFile::decodeName(qgetenv("XDG_STATE_HOME"))));
        return double(wait.elapsed());
    };
    // Ten minutes (the recorder's limit, less a second) against a recognizer as slow as speech that sends nothing
    // before it has finished, speaking without a pause to cut at: 6.5 s of voice, then a 0.3 s breath. Without
    // recognition while recording nothing happens before Enter, so the microphone hands the recording over at once.
    const auto tenMinutes = [&](const QByteArray& modes) {
        qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "1000");
        constexpr int seconds = 599;
        if (modes.contains("on")) {
            std::printf("%d s dictation, recognizer at 1 s per s, while recording on:  Enter to text %7.0f ms\n",
                        seconds, waitAfterDictation(seconds, true, std::make_unique<PacedCapture>(seconds, 6500, 300)));
            std::fflush(stdout);
        }
        if (modes.contains("off"))
            std::printf("%d s dictation, recognizer at 1 s per s, while recording off: Enter to text %7.0f ms\n",
                        seconds, waitAfterDictation(seconds, false, std::make_unique<InstantCapture>(seconds), true));
    };
    // Speech of 4 s and pauses of 1 s, each piece recognized at 0.3 s per second of audio.
    if (argc > 1 && QByteArray(argv[1]) == "--live-text") {
        qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "300");
        waitAfterDictation(60, true);
        reportLiveText();
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "--ten-minutes") {
        tenMinutes(argc > 2 ? QByteArray(argv[2]) : QByteArray("on,off"));
        return 0;
    }

    const auto column = [](const std::vector<Run>& runs, double Run::*field) {
        std::vector<double> values;
        for (const Run& run : runs)
            values.push_back(run.*field);
        return values;
    };

    std::vector<double> ownWork;
    for (int run = 0; run < 10; ++run)
        ownWork.push_back(minuteOfOwnWorkCpuMs());
    report("60 s dictation: the controller's own CPU outside I/O, ms", ownWork);

    const std::vector<Run> quick = measure(3, 0, 10);
    report("3 s dictation, instant server: Enter to text in field, ms", column(quick, &Run::enterToTextMs));
    const std::vector<Run> long60 = measure(60, 0, 5);
    report("60 s dictation, instant server: Enter to text, ms", column(long60, &Run::enterToTextMs));
    report("60 s dictation: main-thread CPU from Enter to text, ms", column(long60, &Run::mainThreadCpuMs));
    const std::vector<Run> slow = measure(3, 2000, 3);
    report("2 s recognition: Enter to text, ms", column(slow, &Run::enterToTextMs));
    report("2 s recognition: longest main-thread stall, ms", column(slow, &Run::longestStallMs));

    qputenv("FAKE_WHISPER_INFERENCE_DELAY_MS", "0");
    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "500");
    for (const int seconds : {10, 30, 60}) {
        for (const bool whileRecording : {false, true}) {
            std::printf("%2d s dictation, recognizer at 0.5 s per s, while recording %-3s: Enter to text %7.0f ms\n",
                        seconds, whileRecording ? "on" : "off", waitAfterDictation(seconds, whileRecording));
        }
    }
    tenMinutes("on,off");
    return 0;
}
