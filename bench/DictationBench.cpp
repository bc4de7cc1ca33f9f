// The desktop side of a dictation, measured under tests/desktop/with-desktop.sh: the recorder's CPU time per
// second of recording, and the time from a key press to the hotkey callback.
#include "core/SettingsStore.h"
#include "dictation/HotkeyManager.h"
#include "recording/AudioRecorder.h"
#include "voice/SoundLevel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <random>

namespace
{

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU time of the whole process (capture thread, main thread, sound client) per second of recording.
void BM_RecorderCpuPerRecordedSecond(benchmark::State& state)
{
    AudioRecorder recorder;
    float lastLevel = 0;
    recorder.onLevel = [&](float level) { lastLevel = level; };
    double cpuSeconds = 0, wallSeconds = 0;
    for (auto _ : state) {
        const std::clock_t cpuStart = std::clock();
        QElapsedTimer wall;
        wall.start();
        if (!recorder.start().ok()) {
            state.SkipWithError("no sound server: run under tests/desktop/with-desktop.sh");
            return;
        }
        runEventLoop(5000);
        benchmark::DoNotOptimize(recorder.stop());
        cpuSeconds += double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        wallSeconds += wall.elapsed() / 1000.0;
    }
    benchmark::DoNotOptimize(lastLevel);
    state.counters["cpu_percent_of_one_core"] = 100.0 * cpuSeconds / wallSeconds;
}
BENCHMARK(BM_RecorderCpuPerRecordedSecond)->Iterations(2)->Unit(benchmark::kMillisecond);

// The per-block arithmetic alone, on one 85 ms block.
void BM_BlockRms(benchmark::State& state)
{
    std::vector<std::int16_t> block(MicrophoneCapture::blockSamples);
    std::mt19937 random(1);
    for (auto& sample : block)
        sample = static_cast<std::int16_t>(random());
    for (auto _ : state)
        benchmark::DoNotOptimize(SoundLevel::rms(block));
}
BENCHMARK(BM_BlockRms);

// From the key press reaching the X server (XTEST) to the toggle callback on the main thread.
void BM_KeyPressToHotkeyCallback(benchmark::State& state)
{
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("f6"));
    HotkeyManager manager;
    Display* display = XOpenDisplay(nullptr);
    if (!display || !manager.startIfPossible()) {
        state.SkipWithError("no X display: run under tests/desktop/with-desktop.sh");
        return;
    }
    const KeyCode f6 = XKeysymToKeycode(display, XK_F6);
    std::chrono::steady_clock::time_point called;
    bool toggled = false;
    manager.onToggle = [&] {
        called = std::chrono::steady_clock::now();
        toggled = true;
    };
    for (auto _ : state) {
        toggled = false;
        const auto pressed = std::chrono::steady_clock::now();
        XTestFakeKeyEvent(display, f6, True, CurrentTime);
        XFlush(display);
        QElapsedTimer timeout;
        timeout.start();
        while (!toggled && timeout.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        XTestFakeKeyEvent(display, f6, False, CurrentTime);
        XSync(display, False);
        if (!toggled) {
            state.SkipWithError("the hotkey callback never came");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(called - pressed).count());
        runEventLoop(5);
    }
    XCloseDisplay(display);
}
BENCHMARK(BM_KeyPressToHotkeyCallback)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    // Settings and logs of the benchmark stay away from the user's own.
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(variable)));
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
