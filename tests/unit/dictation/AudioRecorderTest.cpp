#include "dictation/AudioRecorder.h"

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "support/TestFiles.h"

#include <QTest>

#include <gtest/gtest.h>

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
    int stops = 0;

    Result<Done> start(const QString& source, BlockHandler blocks, EndHandler ended) override
    {
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
    return QString::fromUtf8(TestFiles::read(Paths::logDir() + QStringLiteral("/app.log")));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return mic->opened.size() == 3; }, 1000));
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
