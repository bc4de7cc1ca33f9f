#include "recording/AudioRecorder.h"

#include "recording/RecordingArchive.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
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
    int stops = 0;

    Result<Done> start(const QString&, BlockHandler blocks, EndHandler ended) override
    {
        onBlock = std::move(blocks);
        onEnded = std::move(ended);
        return Done{};
    }
    void stop() override { ++stops; }
};

using TestEnvironment::appLog;

// The blocks below are synthetic, voiced by loudness: the recorder judges them as it does without the voice
// detector's model, which has tests of its own on speech.
void judgeByLoudness()
{
    qputenv("TOLVAN_VAD_MODEL", QByteArray("/nonexistent/silero_vad.onnx"));
}

class AudioRecorderTest : public testing::Test
{
protected:
    FakeCapture* mic = new FakeCapture;
    AudioRecorder recorder{std::unique_ptr<MicrophoneCapture>(mic)};
    int autoStops = 0;

    void SetUp() override
    {
        judgeByLoudness();
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

TEST_F(AudioRecorderTest, AMicrophoneThatFailsAfterTheStartEndsTheRecordingOnceWithCode20)
{
    std::vector<Error> failures;
    recorder.onStartFailed = [&](const Error& error) { failures.push_back(error); };
    ASSERT_TRUE(recorder.start().ok());
    std::thread([&] { mic->onEnded(QStringLiteral("Access denied")); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.empty(); }, 1000));
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_TRUE(failures[0].isTolvan());
    EXPECT_EQ(failures[0].code(), 20);
    EXPECT_EQ(failures[0].description(), "нет входного аудиоустройства");
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
    // Whatever the report posted to the main thread has run once a later post has.
    bool later = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { later = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return later; }, 2000));
    EXPECT_TRUE(recorder.isRunning());
    EXPECT_EQ(failures.size(), 1U);
    EXPECT_EQ(autoStops, 0);
}

// The last block of a capture, flushed when it stops, is no news for the recording that starts next.
TEST_F(AudioRecorderTest, TheLastBlockOfARecordingIsNotReportedToTheNextOne)
{
    std::vector<std::size_t> reports;
    recorder.onBlock = [&](std::size_t endSample, bool) { reports.push_back(endSample); };
    ASSERT_TRUE(recorder.start().ok());
    mic->onBlock(Block(1365, 0));
    recorder.takeWav();
    ASSERT_TRUE(recorder.start().ok());
    feed({Block(100, 0)});
    EXPECT_EQ(reports, std::vector<std::size_t>{100});
}

// The ten newest recordings survive, listed newest first, also when several are kept within a millisecond.
TEST(RecordingArchiveTest, KeepsTheTenNewestNewestFirst)
{
    for (int index = 1; index <= 12; ++index)
        ASSERT_TRUE(RecordingArchive::keep(QByteArray::number(index)));
    QStringList kept;
    for (const QString& file : RecordingArchive::files())
        kept << QString::fromUtf8(TestFiles::read(file));
    EXPECT_EQ(kept.join(u' '), QStringLiteral("12 11 10 9 8 7 6 5 4 3"));
}
