#include "dictation/AudioRecorder.h"

#include "core/Paths.h"
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
    int stops = 0;

    Result<Done> start(const QString&, BlockHandler blocks, EndHandler ended) override
    {
        if (failStart)
            return Error::system(QStringLiteral("PulseAudio"), 1, QStringLiteral("Connection refused"));
        onBlock = std::move(blocks);
        onEnded = std::move(ended);
        return Done{};
    }
    void stop() override { ++stops; }
    void endFromItsThread(const QString& reason)
    {
        std::thread([handler = onEnded, reason] { handler(reason); }).join();
    }
};

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
    // The sound client cannot be set up: the start itself says so.
    mic->failStart = true;
    const Result<Done> started = recorder.start();
    ASSERT_FALSE(started.ok());
    EXPECT_TRUE(started.error().isTolvan());
    EXPECT_EQ(started.error().code(), 20);
    EXPECT_EQ(started.error().description(), "нет входного аудиоустройства");
    EXPECT_TRUE(appLog().contains("Микрофон недоступен: Connection refused")) << appLog().toStdString();
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_EQ(mic->stops, 0);

    // The server refuses after the start returned: the recording ends by itself, once.
    std::vector<Error> failures;
    recorder.onStartFailed = [&](const Error& error) { failures.push_back(error); };
    mic->failStart = false;
    ASSERT_TRUE(recorder.start().ok());
    mic->endFromItsThread("Access denied");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.empty(); }, 1000));
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_EQ(failures[0].code(), 20);
    EXPECT_TRUE(appLog().contains("Микрофон недоступен: Access denied")) << appLog().toStdString();
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_TRUE(recorder.stop().empty());
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
