// One dictation through the real controller, measured under tests/desktop/with-desktop.sh with the fake
// whisper-server: the time from Enter (finish) to the text in a focused text field, the main thread's CPU
// time for the dictation outside recognition (WAV, post-processing, insertion) for a 60 s recording, and
// the longest stall of the main thread while a recognition takes 2 s. Prints its figures; asserts nothing.
#include "app/SettingsStore.h"
#include "dictation/DictationController.h"
#include "engines/ModelCatalog.h"
#include "platform/MicrophoneCapture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
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

    Result<Done> start(BlockHandler onBlock, EndHandler) override
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

Run dictateOnce(DictationController& controller, QLineEdit& field)
{
    field.clear();
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
    if (!QTest::qWaitFor([&] { return !field.text().isEmpty(); }, 15000))
        std::puts("the text never arrived");
    run.enterToTextMs = double(sinceEnter.nsecsElapsed()) / 1e6;
    run.mainThreadCpuMs = threadCpuMs() - cpuStart;
    return run;
}

void report(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-58s median %8.1f  max %8.1f\n", what, values[values.size() / 2], values.back());
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(variable)));
    qputenv("TOLVAN_WHISPER_BIN", TOLVAN_FAKE_WHISPER);
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("needs an X display: run under tests/desktop/with-desktop.sh");
        return 0;
    }
    SettingsStore& settings = SettingsStore::shared();
    settings.setString(SettingsKey::speechQuality, QStringLiteral("off"));
    settings.setBool(SettingsKey::sounds, false);
    const WhisperModel model = ModelCatalog::byID(ModelCatalog::defaultModelID());
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
        if (!QTest::qWaitFor([&] { return controller.server().state().kind == WhisperServer::State::ready; }, 20000))
            std::puts("the server never became ready");
        std::vector<Run> all;
        for (int index = 0; index < runs; ++index)
            all.push_back(dictateOnce(controller, field));
        return all;
    };
    const auto column = [](const std::vector<Run>& runs, double Run::*field) {
        std::vector<double> values;
        for (const Run& run : runs)
            values.push_back(run.*field);
        return values;
    };

    const std::vector<Run> quick = measure(3, 0, 10);
    report("3 s dictation, instant server: Enter to text in field, ms", column(quick, &Run::enterToTextMs));
    const std::vector<Run> long60 = measure(60, 0, 5);
    report("60 s dictation, instant server: Enter to text, ms", column(long60, &Run::enterToTextMs));
    report("60 s dictation: main-thread CPU from Enter to text, ms", column(long60, &Run::mainThreadCpuMs));
    const std::vector<Run> slow = measure(3, 2000, 3);
    report("2 s recognition: Enter to text, ms", column(slow, &Run::enterToTextMs));
    report("2 s recognition: longest main-thread stall, ms", column(slow, &Run::longestStallMs));
    return 0;
}
