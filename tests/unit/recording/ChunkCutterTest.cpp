#include "recording/ChunkCutter.h"

#include "recording/RecognitionChunks.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

constexpr std::size_t block = 1365;
using Stretches = std::vector<std::pair<bool, int>>;

// Feeds blocks of sound (true) and silence (false) lasting about `ms` each; answers the cuts proposed.
std::vector<std::size_t> feed(ChunkCutter& cutter, std::size_t& end, const Stretches& stretches)
{
    std::vector<std::size_t> cuts;
    for (const auto& [voiced, ms] : stretches) {
        for (std::size_t fed = 0; fed < std::size_t(ms) * 16; fed += block) {
            end += block;
            if (const auto cut = cutter.addBlock(end, voiced)) {
                cuts.push_back(*cut);
                cutter.cutAt(*cut);
            }
        }
    }
    return cuts;
}

} // namespace

TEST(ChunkCutter, CutsInThePauseAfterThreeSecondsOfSpeechOnly)
{
    const std::tuple<const char*, Stretches, std::size_t> cases[] = {
        {"3 s of speech, then 0.8 s of pause", {{true, 3100}, {false, 800}}, 1},
        {"2.5 s of speech is not enough", {{true, 2500}, {false, 2000}}, 0},
        {"a 0.5 s pause is not enough", {{true, 4000}, {false, 500}, {true, 1000}}, 0},
        {"silence before the speech does not count as speech", {{false, 3000}, {true, 1000}, {false, 900}}, 0},
        {"one cut per pause, however long", {{true, 3100}, {false, 5000}}, 1},
        {"the next piece needs its own 3 s", {{true, 3100}, {false, 800}, {true, 2000}, {false, 800}}, 1},
        {"two sentences, two cuts", {{true, 3100}, {false, 800}, {true, 3200}, {false, 800}}, 2},
    };
    for (const auto& [what, stretches, expected] : cases) {
        ChunkCutter cutter;
        std::size_t end = 0;
        EXPECT_EQ(feed(cutter, end, stretches).size(), expected) << what;
    }

    // Exactly 3 s of speech and exactly 0.7 s of pause are enough; the cut lies in the middle of that pause.
    ChunkCutter cutter;
    EXPECT_EQ(cutter.addBlock(ChunkCutter::minimumSpeech, true), std::nullopt);
    EXPECT_EQ(cutter.addBlock(ChunkCutter::minimumSpeech + ChunkCutter::minimumPause, false),
              ChunkCutter::minimumSpeech + ChunkCutter::minimumPause / 2);

    // A report that ends before the last one (a late block of an earlier capture) cuts nothing, and the
    // pause after it is measured from where it really began.
    ChunkCutter late;
    std::size_t end = 0;
    feed(late, end, {{true, 3100}, {false, 400}});
    EXPECT_EQ(late.addBlock(block, false), std::nullopt);
    EXPECT_EQ(late.addBlock(end + block, false), std::nullopt);
    const std::vector<std::size_t> cuts = feed(late, end += block, {{false, 400}});
    ASSERT_EQ(cuts.size(), 1U);
    EXPECT_LT(cuts[0], end);
}

TEST(ChunkCutter, ALongPieceWithoutPauseIsCutAtItsQuietestMomentAfterTwentySeconds)
{
    ChunkCutter cutter;
    std::size_t end = 0;
    EXPECT_TRUE(feed(cutter, end, {{true, 24000}}).empty());
    EXPECT_FALSE(cutter.needsForcedCut(end));
    feed(cutter, end, {{true, 1500}});
    ASSERT_TRUE(cutter.needsForcedCut(end));

    std::vector<std::int16_t> samples(end, 3000);
    // Quieter before 20 s does not count; the quietest window after it does.
    std::fill(samples.begin() + 19 * 16000, samples.begin() + 19 * 16000 + 1600, 0);
    std::fill(samples.begin() + 22 * 16000, samples.begin() + 22 * 16000 + 1600, 100);
    std::fill(samples.begin() + 23 * 16000, samples.begin() + 23 * 16000 + 1600, 500);
    EXPECT_EQ(cutter.forcedCut(samples), std::size_t(22 * 16000 + 800));
}

// A finished recording is cut where a recording under way would have been: in its pauses after 3 s of speech, and
// where a piece runs past 25 s without one, at its quietest moment 20 s or more into the piece; nothing is cut from a
// short one, and a piece without voice is left out.
TEST(ChunkCutter, AFinishedRecordingIsCutAtItsPausesElseAtItsQuietestMoments)
{
    // The cutter's rules on blocks judged by loudness: the voice detector's judgement has tests of its own on speech.
    qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
    using Pieces = std::vector<ChunkCutter::Piece>;
    // Sound (its amplitude) or silence (0) for so many ms each.
    const auto recording = [](const std::vector<std::pair<std::int16_t, int>>& stretches) {
        std::vector<std::int16_t> samples;
        for (const auto& [amplitude, ms] : stretches)
            samples.insert(samples.end(), std::size_t(ms) * 16, amplitude);
        return samples;
    };
    // The first silent block of the pause at 4 s starts at 47 blocks; the cut lies 0.35 s into it.
    constexpr std::size_t inFirstPause = 47 * block + 5600;
    const std::tuple<const char*, std::vector<std::int16_t>, Pieces> cases[] = {
        {"short, without a pause", recording({{3000, 8000}}), {{0, 128000}}},
        {"pauses",
         recording({{3000, 4000}, {0, 1000}, {3000, 4000}, {0, 300}}),
         {{0, inFirstPause}, {inFirstPause, 148800}}},
        {"a minute without a pause, two quieter moments",
         recording({{3000, 22000}, {200, 200}, {3000, 21800}, {200, 200}, {3000, 15800}}),
         {{0, 352800}, {352800, 704800}, {704800, 960000}}},
        {"silence, then speech", recording({{0, 30000}, {3000, 4000}}), {{320800, 544000}}},
    };
    for (const auto& [what, samples, expected] : cases)
        EXPECT_EQ(ChunkCutter::pieces(samples), expected) << what;
}

// Whisper keeps the last 223 tokens of a prompt: the text recognized so far is shortened, by whole words from
// its start, so that the user's prompt and the dictionary hint before it always fit.
TEST(RecognitionChunks, APromptKeepsTheStartPromptWholeAndAsManyLastWordsAsFit)
{
    const QString start(300, u'я');
    QStringList words;
    for (int index = 0; index < 100; ++index)
        words << QStringLiteral("w%1").arg(index, 2, 10, QLatin1Char('0'));
    // 669 bytes in all: the start prompt's 600 and a space leave room for the last 17 words of 3 bytes and their
    // spaces.
    EXPECT_EQ(RecognitionChunks::promptFrom(start, words.join(u' ')), start + u' ' + words.mid(83).join(u' '));
    EXPECT_EQ(RecognitionChunks::promptFrom({}, QStringLiteral("раз два")), QStringLiteral("раз два"));
    EXPECT_EQ(RecognitionChunks::promptFrom(QString(800, u'я'), QStringLiteral("раз")), QString(800, u'я'));
}
