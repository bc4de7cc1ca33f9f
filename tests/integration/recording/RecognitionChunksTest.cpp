#include "recording/RecognitionChunks.h"

#include "audio/WavWriter.h"
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

QByteArray wavOf(const Samples& samples, std::size_t from, std::size_t to)
{
    return WavWriter::data(std::span(samples).subspan(from, to - from), 16000);
}

// Sounds of 3.2, 4.1 and 1.2 s, each followed by silence; the pieces are cut in the middle of the pauses, as
// the cutter does.
const Samples speech = [] {
    Samples samples;
    for (const auto& [soundMs, silenceMs] : {std::pair{3200, 1500}, {4100, 1500}, {1200, 300}}) {
        for (int index = 0; index < soundMs * 16; ++index)
            samples.push_back(std::int16_t(index % 2 ? 4000 : -4000));
        samples.resize(samples.size() + std::size_t(silenceMs) * 16);
    }
    return samples;
}();
const std::vector<std::size_t> cuts{(3200 + 750) * 16, (3200 + 1500 + 4100 + 750) * 16};

class RecognitionChunksTest : public testing::Test
{
protected:
    // The fake recognizer, answering each stretch of sound; the requests in `failing` get a 500.
    void startServer(const QByteArray& failing = {})
    {
        // Square waves: voice to the loudness rule, which the voice detector falls back to without its model.
        qputenv("TOLVAN_VAD_MODEL", QByteArray("/nonexistent/silero_vad.onnx"));
        qputenv("TOLVAN_WHISPER_BIN", FAKE_WHISPER_SERVER);
        qputenv("FAKE_WHISPER_RECORD_DIR", recordDir.toUtf8());
        qputenv("FAKE_WHISPER_SEGMENTS_FROM_AUDIO", "1");
        qputenv("FAKE_WHISPER_FAIL_REQUESTS", failing);
        server.start(TestFiles::write(recordDir + QStringLiteral("/ggml-test.bin"), "model"), QStringLiteral("ru"), {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.state().kind == WhisperServer::State::ready; }, 10000));
    }

    // Hands the pieces up to each cut to `into`, then the rest; what it answers.
    std::optional<Result<TranscriptionResult>> recognize(const std::vector<std::size_t>& pieces,
                                                         RecognitionChunks& into)
    {
        std::size_t from = 0;
        for (const std::size_t cut : pieces) {
            into.add(wavOf(speech, from, cut), from);
            from = cut;
        }
        std::optional<Result<TranscriptionResult>> outcome;
        into.finish(wavOf(speech, 0, speech.size()), from,
                    [&](Result<TranscriptionResult> result) { outcome = std::move(result); });
        if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 10000))
            return std::nullopt;
        return outcome;
    }

    int requests() const { return int(QDir(recordDir).entryList({QStringLiteral("request-*.body")}).size()); }
    QByteArray request(int number) const
    {
        return TestFiles::read(recordDir + QStringLiteral("/request-%1.body").arg(number));
    }

    const QString recordDir = TestEnvironment::makeDirectory(QStringLiteral("chunks"));
    WhisperServer server;
    const QString startPrompt = QStringLiteral("Толван, GitHub");
    RecognitionChunks chunks{server, startPrompt};
};

} // namespace

TEST_F(RecognitionChunksTest, PiecesMergeShiftedByTheirStartEachPromptedWithTheTextBeforeItUnlessDropped)
{
    startServer();
    const auto merged = recognize(cuts, chunks);
    ASSERT_TRUE(merged && *merged);
    EXPECT_EQ(merged->value().text, QStringLiteral("Фраза около 3 с. Фраза около 4 с. Фраза около 1 с."));
    const auto& segments = merged->value().segments;
    ASSERT_EQ(segments.size(), 3U);
    for (const auto& [index, startMs] : {std::pair{0, 0}, {1, 4700}, {2, 10300}})
        EXPECT_NEAR(segments[index].startMs, startMs, 1.0) << index;
    EXPECT_NEAR(segments[2].endMs, 11500, 1.0);
    // The multipart "prompt" field replaces the server's start prompt: that one first, then what was recognized.
    const auto prompted = [&](int number, const QString& prompt) {
        return request(number).contains("name=\"prompt\"\r\n\r\n" + prompt.toUtf8() + "\r\n");
    };
    EXPECT_TRUE(prompted(2, startPrompt));
    EXPECT_TRUE(prompted(3, startPrompt + QStringLiteral(" Фраза около 3 с.")));
    EXPECT_TRUE(prompted(4, startPrompt + QStringLiteral(" Фраза около 3 с. Фраза около 4 с.")));

    // The answer for a recording dropped meanwhile goes nowhere.
    auto dropped = std::make_unique<RecognitionChunks>(server, startPrompt);
    bool called = false;
    dropped->add(wavOf(speech, 0, cuts[0]), 0);
    dropped->finish(wavOf(speech, 0, cuts[0]), cuts[0], [&](Result<TranscriptionResult>) { called = true; });
    dropped.reset();
    // The server answers in order: once a later recording (cut at its pauses) is answered, the dropped one's answer
    // has come too.
    RecognitionChunks later(server, startPrompt);
    ASSERT_TRUE(recognize({}, later).has_value());
    EXPECT_FALSE(called);
    EXPECT_EQ(requests(), 8);
}

TEST_F(RecognitionChunksTest, AFailedPieceIsRecognizedAgainWithTheRestAndASecondFailureFailsTheRecording)
{
    // The first piece fails; later the piece and the first piece of the rest of another recording fail.
    startServer("2,6,7");
    // Nothing more is cut while recording once a piece failed; the rest starts where that piece started, cut at its
    // pauses.
    const auto recovered = recognize(cuts, chunks);
    ASSERT_TRUE(recovered && *recovered);
    EXPECT_EQ(recovered->value().segments.size(), 3U);
    EXPECT_EQ(requests(), 5);

    RecognitionChunks again(server, startPrompt);
    const auto failed = recognize({cuts[0]}, again);
    EXPECT_TRUE(failed && !failed->ok());
    EXPECT_EQ(requests(), 7);
}
