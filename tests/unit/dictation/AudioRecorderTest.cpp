#include "dictation/AudioRecorder.h"

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "engines/WavWriter.h"

#include <QFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <thread>

namespace
{

using Block = std::vector<std::int16_t>;

// A microphone the test feeds by hand, from a thread of its own like the real one.
struct FakeCapture : MicrophoneCapture
{
    BlockHandler onBlock;
    EndHandler onEnded;
    // The sound client cannot even be set up.
    bool failStart = false;
    // Named sources the server does not have: it says so after the start, like a real one.
    QStringList missing;
    QStringList opened;
    int starts = 0, stops = 0;

    Result<Done> start(const QString& source, BlockHandler blocks, EndHandler ended) override
    {
        ++starts;
        opened.append(source);
        if (failStart)
            return Error::system(QStringLiteral("PulseAudio"), 1, QStringLiteral("Connection refused"));
        onBlock = std::move(blocks);
        onEnded = std::move(ended);
        if (missing.contains(source))
            endFromItsThread(QStringLiteral("No such entity"));
        return Done{};
    }
    void stop() override { ++stops; }
    void endFromItsThread(const QString& reason)
    {
        std::thread([handler = onEnded, reason] { handler(reason); }).join();
    }
};

// n samples of a square wave whose RMS is amplitude / 32768.
Block square(std::size_t n, std::int16_t amplitude)
{
    Block block(n, amplitude);
    for (std::size_t index = 1; index < n; index += 2)
        block[index] = static_cast<std::int16_t>(-amplitude);
    return block;
}

QString appLog()
{
    QFile file(Paths::logDir() + QStringLiteral("/app.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class AudioRecorderTest : public testing::Test
{
protected:
    FakeCapture* mic = new FakeCapture;
    AudioRecorder recorder{std::unique_ptr<MicrophoneCapture>(mic)};
    int autoStops = 0;

    void SetUp() override
    {
        recorder.onAutoStop = [this] { ++autoStops; };
    }

    // Delivers the blocks from another thread and lets the main thread run what they posted.
    void feed(const std::vector<Block>& blocks)
    {
        std::thread([&] {
            for (const auto& block : blocks)
                mic->onBlock(block);
        }).join();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST(AudioRecorderRms, IsOnePassSinglePrecisionOverEveryLength)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (const std::size_t length : {1U, 3U, 4U, 31U, 32U, 33U, 1365U, 1429U}) {
        Block block(length);
        double sum = 0;
        for (auto& value : block) {
            value = static_cast<std::int16_t>(sample(random));
            sum += (value / 32768.0) * (value / 32768.0);
        }
        EXPECT_NEAR(AudioRecorder::rms(block), std::sqrt(sum / length), 1e-5) << length;
    }
    EXPECT_EQ(AudioRecorder::rms({}), 0.0F);
    EXPECT_FLOAT_EQ(AudioRecorder::rms(square(100, -32768)), 1.0F);
}

TEST_F(AudioRecorderTest, KeepsBlocksCountsVoicedTimeAboveTheThresholdAndReportsCappedLevelsOnTheMainThread)
{
    ASSERT_TRUE(recorder.start().ok());
    // 0.0121 and 0.0119 of full scale, and silence.
    feed({square(1365, 397), square(1365, 390), Block(1600, 0), square(1365, 397)});
    EXPECT_DOUBLE_EQ(recorder.voicedAccumMs(), 2 * 1365 / 16.0);

    std::vector<float> levels;
    bool onMainThread = true;
    recorder.onLevel = [&](float level) {
        levels.push_back(level);
        onMainThread = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    // RMS 0.05 → 0.45; RMS 1/9 and above → 1.
    feed({square(1365, 1638), square(1365, 3641), square(1365, 30000), {}});
    ASSERT_EQ(levels.size(), 3U);
    EXPECT_NEAR(levels[0], 0.45F, 1e-3);
    EXPECT_FLOAT_EQ(levels[1], 1.0F);
    EXPECT_FLOAT_EQ(levels[2], 1.0F);
    EXPECT_TRUE(onMainThread);

    const auto samples = recorder.stop();
    ASSERT_EQ(samples.size(), 1365U * 6 + 1600);
    EXPECT_EQ(samples[0], 397);
    EXPECT_EQ(samples[1365], 390);
    EXPECT_EQ(samples[1365 * 2], 0);
    EXPECT_EQ(samples[1365 * 2 + 1600], 397);
}

TEST_F(AudioRecorderTest, AutoStopFiresOnceAfterTheLengthLimit)
{
    ASSERT_TRUE(recorder.start().ok());
    const Block quarter(AudioRecorder::lengthLimit / 4, 0);
    feed({quarter, quarter, quarter, quarter});
    EXPECT_EQ(autoStops, 0) << "exactly at the limit is not over it";
    feed({Block(1, 0)});
    EXPECT_EQ(autoStops, 1);
    feed({Block(1365, 0), Block(1365, 0)});
    EXPECT_EQ(autoStops, 1);
    EXPECT_EQ(recorder.stop().size(), AudioRecorder::lengthLimit + 1 + 2 * 1365);
    // The next recording starts afresh and may stop itself again.
    ASSERT_TRUE(recorder.start().ok());
    feed({Block(AudioRecorder::lengthLimit + 1, 0)});
    EXPECT_EQ(autoStops, 2);
}

TEST_F(AudioRecorderTest, StartWhileRunningKeepsTheRecordingAndStopWhenIdleIsHarmless)
{
    ASSERT_TRUE(recorder.start().ok());
    feed({square(1365, 5000)});
    ASSERT_TRUE(recorder.start().ok());
    EXPECT_EQ(mic->starts, 1);
    EXPECT_EQ(recorder.stop().size(), 1365U);
    EXPECT_EQ(recorder.stop().size(), 1365U) << "the samples stay until the next start";
    EXPECT_EQ(mic->stops, 1);
    ASSERT_TRUE(recorder.start().ok());
    EXPECT_EQ(recorder.voicedAccumMs(), 0.0);
    EXPECT_TRUE(recorder.stop().empty());
}

TEST_F(AudioRecorderTest, NoMicrophoneFailsWithCode20AndStaysIdle)
{
    std::vector<Error> failures;
    recorder.onStartFailed = [&](const Error& error) { failures.push_back(error); };
    const auto expectNoInputDevice = [&](const Error& error, const QString& reason) {
        EXPECT_TRUE(error.isTolvan());
        EXPECT_EQ(error.code(), 20);
        EXPECT_EQ(error.description(), QStringLiteral("нет входного аудиоустройства"));
        EXPECT_FALSE(recorder.isRunning());
        EXPECT_TRUE(appLog().contains(QStringLiteral("Микрофон недоступен: ") + reason)) << appLog().toStdString();
        EXPECT_TRUE(recorder.stop().empty());
    };
    // The sound client cannot be set up: the start itself says so.
    mic->failStart = true;
    const Result<Done> started = recorder.start();
    ASSERT_FALSE(started.ok());
    expectNoInputDevice(started.error(), QStringLiteral("Connection refused"));
    EXPECT_EQ(mic->stops, 0);

    // The server refuses after the start returned: the recording ends by itself, once.
    mic->failStart = false;
    ASSERT_TRUE(recorder.start().ok());
    EXPECT_TRUE(recorder.isRunning());
    mic->endFromItsThread(QStringLiteral("Access denied"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.empty(); }, 1000));
    ASSERT_EQ(failures.size(), 1U);
    expectNoInputDevice(failures[0], QStringLiteral("Access denied"));
    EXPECT_EQ(mic->stops, 1);
    EXPECT_EQ(autoStops, 0);

    // A late report of an earlier capture leaves the next recording alone.
    ASSERT_TRUE(recorder.start().ok());
    const MicrophoneCapture::EndHandler earlier = mic->onEnded;
    recorder.stop();
    ASSERT_TRUE(recorder.start().ok());
    std::thread([&] { earlier(QStringLiteral("Connection terminated")); }).join();
    QTest::qWait(50);
    EXPECT_TRUE(recorder.isRunning());
    EXPECT_EQ(failures.size(), 1U);
    EXPECT_EQ(autoStops, 0);
}

TEST_F(AudioRecorderTest, OpensTheChosenMicrophoneAndFallsBackToTheDefaultWhenItIsGone)
{
    const QString usb = QStringLiteral("alsa_input.usb-Mic");
    SettingsStore::shared().setString(SettingsKey::inputDevice, usb);
    ASSERT_TRUE(recorder.start().ok());
    recorder.stop();
    mic->missing = QStringList{usb};
    ASSERT_TRUE(recorder.start().ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return mic->starts == 3; }, 1000));
    EXPECT_TRUE(recorder.isRunning());
    feed({square(1365, 5000)});
    EXPECT_EQ(recorder.stop().size(), 1365U);
    SettingsStore::shared().setString(SettingsKey::inputDevice, QString());
    ASSERT_TRUE(recorder.start().ok());
    EXPECT_EQ(mic->opened, (QStringList{usb, usb, QString(), QString()}));
    EXPECT_EQ(appLog().count(QStringLiteral("Микрофон «alsa_input.usb-Mic» недоступен (No such entity) — пишу с "
                                            "микрофона по умолчанию")),
              1)
        << appLog().toStdString();
}

TEST_F(AudioRecorderTest, LostMicrophoneEndsTheRecordingOnceKeepingWhatWasCaptured)
{
    ASSERT_TRUE(recorder.start().ok());
    feed({square(1365, 5000), square(700, 5000)});
    std::thread([&] { mic->onEnded(QStringLiteral("Connection terminated")); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return autoStops == 1; }, 1000));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Запись прервана: Connection terminated")));
    EXPECT_EQ(recorder.stop().size(), 2065U);
    EXPECT_DOUBLE_EQ(recorder.voicedAccumMs(), 2065 / 16.0);
    QCoreApplication::processEvents();
    EXPECT_EQ(autoStops, 1);
}

// The real PulseAudio client with no server to talk to.
TEST(AudioRecorderWithoutServer, SoundServerAbsentFailsWithCode20AndLeavesNothingRunning)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/pulse/native");
    AudioRecorder recorder;
    std::optional<Error> failure;
    recorder.onStartFailed = [&](const Error& error) { failure = error; };
    for (int attempt = 0; attempt < 2; ++attempt) {
        failure.reset();
        const Result<Done> started = recorder.start();
        if (!started)
            failure = started.error();
        ASSERT_TRUE(QTest::qWaitFor([&] { return failure.has_value(); }, 3000));
        EXPECT_EQ(failure->code(), 20);
        EXPECT_EQ(failure->description(), QStringLiteral("нет входного аудиоустройства"));
        EXPECT_FALSE(recorder.isRunning());
        EXPECT_TRUE(recorder.stop().empty());
    }
    EXPECT_TRUE(appLog().contains(QStringLiteral("Микрофон недоступен: "))) << appLog().toStdString();
}

TEST_F(AudioRecorderTest, TakenRecordingIsTheWavOfItsSamplesAndLeavesNothingBehind)
{
    ASSERT_TRUE(recorder.start().ok());
    const Block first = square(1365, 5000), second = square(700, -300);
    feed({first, second});
    Block all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(recorder.samples(1360, 1370), Block(all.begin() + 1360, all.begin() + 1370));
    EXPECT_EQ(recorder.samples(2000, 99999), Block(all.begin() + 2000, all.end()));

    EXPECT_EQ(recorder.takeWav(), WavWriter::data(all, AudioRecorder::sampleRate));
    EXPECT_EQ(mic->stops, 1);
    EXPECT_EQ(recorder.sampleCount(), 0U);
    EXPECT_EQ(recorder.takeWav(), WavWriter::data({}, AudioRecorder::sampleRate));
}
