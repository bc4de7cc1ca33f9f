#include "dictation/RecognitionChunks.h"

#include "engines/WavWriter.h"
#include "engines/WhisperServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace
{

using Samples = std::vector<std::int16_t>;

// A recording of sounds and silences, in milliseconds: {sound, silence, sound, …}.
Samples recording(const std::vector<int>& stretchesMs)
{
    Samples samples;
    bool loud = true;
    for (const int ms : stretchesMs) {
        for (int index = 0; index < ms * 16; ++index)
            samples.push_back(loud ? std::int16_t(index % 2 ? 4000 : -4000) : std::int16_t(0));
        loud = !loud;
    }
    return samples;
}

QByteArray wavOf(const Samples& samples, std::size_t from, std::size_t to)
{
    return WavWriter::data(std::span(samples).subspan(from, to - from), 16000);
}

class RecognitionChunksTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const QString work = TestEnvironment::makeDirectory(QStringLiteral("chunks-%1").arg(++runs));
        recordDir = work + QStringLiteral("/record");
        qputenv("TOLVAN_WHISPER_BIN", FAKE_WHISPER_SERVER);
        qputenv("FAKE_WHISPER_RECORD_DIR", recordDir.toUtf8());
        qputenv("FAKE_WHISPER_SEGMENTS_FROM_AUDIO", "1");
        model = TestFiles::write(work + QStringLiteral("/ggml-test.bin"), "model");
    }
    void TearDown() override
    {
        server.stop();
        qunsetenv("FAKE_WHISPER_FAIL_REQUESTS");
        qunsetenv("FAKE_WHISPER_INFERENCE_DELAY_MS");
    }

    // The fake reads its script when it starts.
    void startServer()
    {
        server.start(model, QStringLiteral("ru"), {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.state().kind == WhisperServer::State::ready; }, 10000));
    }

    // Cuts the recording at the given samples as the controller does, then finishes it.
    std::optional<Result<TranscriptionResult>> recognize(const Samples& samples, const std::vector<std::size_t>& cuts)
    {
        std::size_t from = 0;
        for (const std::size_t cut : cuts) {
            chunks.add(wavOf(samples, from, cut), from);
            from = cut;
        }
        std::optional<Result<TranscriptionResult>> outcome;
        chunks.finish(wavOf(samples, 0, samples.size()), from,
                      [&](Result<TranscriptionResult> result) { outcome = std::move(result); });
        if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 10000))
            return std::nullopt;
        return outcome;
    }

    // What one request for the whole recording answers.
    TranscriptionResult whole(const Samples& samples)
    {
        std::optional<Result<TranscriptionResult>> outcome;
        server.transcribe(wavOf(samples, 0, samples.size()),
                          [&](Result<TranscriptionResult> result) { outcome = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
        return outcome && *outcome ? outcome->value() : TranscriptionResult{};
    }

    int requests() const { return int(QDir(recordDir).entryList({QStringLiteral("request-*.body")}).size()); }
    QByteArray request(int number) const
    {
        return TestFiles::read(recordDir + QStringLiteral("/request-%1.body").arg(number));
    }

    static inline int runs = 0;
    QString recordDir, model;
    WhisperServer server;
    RecognitionChunks chunks{server};
};

} // namespace

TEST_F(RecognitionChunksTest, PiecesMergeIntoWhatOneRequestForTheWholeRecordingGives)
{
    startServer();
    const Samples samples = recording({3200, 1500, 4100, 1500, 1200, 300});
    // Cut in the middle of each pause, as the cutter does.
    const auto merged = recognize(samples, {(3200 + 750) * 16, (3200 + 1500 + 4100 + 750) * 16});
    ASSERT_TRUE(merged && *merged);
    const TranscriptionResult single = whole(samples);
    ASSERT_EQ(single.segments.size(), 3U);
    ASSERT_EQ(merged->value().segments.size(), 3U);
    for (std::size_t index = 0; index < 3; ++index) {
        EXPECT_EQ(merged->value().segments[index].text, single.segments[index].text);
        EXPECT_NEAR(double(merged->value().segments[index].startMs), double(single.segments[index].startMs), 1.0);
        EXPECT_NEAR(double(merged->value().segments[index].endMs), double(single.segments[index].endMs), 1.0);
    }
    EXPECT_EQ(merged->value().text, single.text.trimmed().split(u' ', Qt::SkipEmptyParts).join(u' '));

    // Each piece carried what was recognized before it; the first had nothing to carry.
    EXPECT_FALSE(request(2).contains("name=\"prompt\""));
    EXPECT_TRUE(request(3).contains("name=\"prompt\"\r\n\r\nФраза около 3 с.\r\n"));
    EXPECT_TRUE(request(4).contains(QStringLiteral("Фраза около 3 с. Фраза около 4 с.\r\n").toUtf8()));
}

TEST_F(RecognitionChunksTest, AFailedPieceIsRecognizedAgainWithTheRestAndASecondFailureFailsTheRecording)
{
    // The first piece fails; later the piece and the rest of another recording fail.
    qputenv("FAKE_WHISPER_FAIL_REQUESTS", "2,4,5");
    startServer();
    const Samples samples = recording({3200, 1500, 4100, 1500, 1200, 300});
    const std::vector<std::size_t> cuts{(3200 + 750) * 16, (3200 + 1500 + 4100 + 750) * 16};

    // Nothing more is cut once a piece failed; the rest starts where that piece started.
    const auto recovered = recognize(samples, cuts);
    ASSERT_TRUE(recovered && *recovered);
    EXPECT_EQ(recovered->value().segments.size(), 3U);
    EXPECT_EQ(requests(), 3);

    RecognitionChunks again(server);
    std::optional<Result<TranscriptionResult>> failed;
    again.add(wavOf(samples, 0, cuts[0]), 0);
    again.finish(wavOf(samples, 0, samples.size()), cuts[0],
                 [&](Result<TranscriptionResult> result) { failed = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.has_value(); }, 10000));
    EXPECT_FALSE(failed->ok());
    EXPECT_EQ(requests(), 5);
}

TEST_F(RecognitionChunksTest, AnswersAfterTheRecordingWasDroppedGoNowhere)
{
    qputenv("FAKE_WHISPER_INFERENCE_DELAY_MS", "300");
    startServer();
    const Samples samples = recording({3200, 1500});
    auto dropped = std::make_unique<RecognitionChunks>(server);
    bool called = false;
    dropped->add(wavOf(samples, 0, samples.size()), 0);
    dropped->finish(wavOf(samples, 0, samples.size()), samples.size(),
                    [&](Result<TranscriptionResult>) { called = true; });
    dropped.reset();
    QTest::qWait(600);
    EXPECT_FALSE(called);
    EXPECT_EQ(requests(), 2);
}
