#include "engines/GigaAMEngine.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

namespace
{

QByteArray fixture(const QString& name)
{
    QFile file(TestEnvironment::fixture("sherpa-onnx-offline/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const Error unparsable = Error::tolvan(40, QStringLiteral("не удалось разобрать ответ sherpa-onnx"));

Error errorOf(const QByteArray& output)
{
    const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(output);
    EXPECT_FALSE(result.ok());
    return result.ok() ? Error::tolvan(-1, {}) : result.error();
}

} // namespace

TEST(GigaAMSegments, APauseSplitsOnlyBeforeAWordStart)
{
    const QStringList tokens{" При", "вет", " мир"};
    EXPECT_EQ(GigaAMEngine::segments(tokens, {0.0, 0.2, 1.5}, 600),
              (std::vector<SpeechSegment>{{QStringLiteral("Привет"), 0, 440, 0, 0},
                                          {QStringLiteral("мир"), 1500, 1740, 0, 0}}));
    // The long pause comes before a continuation: one piece.
    EXPECT_EQ(GigaAMEngine::segments(tokens, {0.0, 1.0, 1.2}, 600),
              (std::vector<SpeechSegment>{{QStringLiteral("Привет мир"), 0, 1440, 0, 0}}));
}

TEST(GigaAMSegments, CharacterTokensSplitAtTheSpaceTokenAfterAPause)
{
    const QStringList tokens{"д", "а", " ", "н", "е", "т"};
    EXPECT_EQ(GigaAMEngine::segments(tokens, {0.1, 0.2, 1.0, 1.04, 1.08, 1.12}, 600),
              (std::vector<SpeechSegment>{{QStringLiteral("да"), 100, 440, 0, 0},
                                          {QStringLiteral("нет"), 1000, 1360, 0, 0}}));
}

TEST(GigaAMSegments, NothingForMismatchedOrEmptyInput)
{
    EXPECT_TRUE(GigaAMEngine::segments({"а", "б"}, {0.1}, 600).empty());
    EXPECT_TRUE(GigaAMEngine::segments({}, {}, 600).empty());
    // Pieces left blank by the trim are dropped; line breaks are not trimmed.
    EXPECT_TRUE(GigaAMEngine::segments({" ", "\t"}, {0.0, 0.1}, 600).empty());
    EXPECT_EQ(GigaAMEngine::segments({"а\n"}, {0.0}, 600).front().text, QStringLiteral("а\n"));
}

TEST(GigaAMOutput, RecordedCharacterModelLine)
{
    const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(fixture("stdout_char_vocab.txt"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().text, QStringLiteral("привет это проверка диктовки сегодня хорошая погода"));
    ASSERT_EQ(result.value().segments.size(), 1u);
    EXPECT_EQ(result.value().segments[0].startMs, 240);
    EXPECT_EQ(result.value().segments[0].endMs, 4240);
}

TEST(GigaAMOutput, RecordedPunctuationModelAndSilence)
{
    const Result<TranscriptionResult> speech = GigaAMEngine::parseOutput(fixture("stdout_punct_bpe.txt"));
    ASSERT_TRUE(speech.ok());
    EXPECT_EQ(speech.value().text, QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода."));
    EXPECT_EQ(speech.value().segments.size(), 1u);
    const Result<TranscriptionResult> silence = GigaAMEngine::parseOutput(fixture("stdout_silence.txt"));
    ASSERT_TRUE(silence.ok());
    EXPECT_EQ(silence.value(), TranscriptionResult{});
}

TEST(GigaAMOutput, TheFirstLineWithQuotedTextIsUsed)
{
    const QByteArray output = "\nwarning: \"tex\" here\n"
                              R"({"text": "один", "tokens":[" один"], "timestamps": [0.5]})"
                              "\n"
                              R"({"text": "два"})"
                              "\n";
    const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(output);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(),
              (TranscriptionResult{QStringLiteral("один"), {{QStringLiteral("один"), 500, 740, 0, 0}}}));
}

TEST(GigaAMOutput, MissingOrMalformedTokensGiveTextWithoutSegments)
{
    const auto textOnly = [](const QByteArray& line) {
        const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(line);
        EXPECT_TRUE(result.ok());
        return result.ok() ? result.value() : TranscriptionResult{};
    };
    const TranscriptionResult expected{QStringLiteral("да"), {}};
    EXPECT_EQ(textOnly(R"({"text": "да", "timestamps": [0.1]})"), expected);
    EXPECT_EQ(textOnly(R"({"text": "да", "tokens":["д", "а"], "timestamps": [0.1]})"), expected);
    EXPECT_EQ(textOnly(R"({"text": "да", "tokens":["д", 5], "timestamps": [0.1, 0.2]})"), expected);
    EXPECT_EQ(textOnly(R"({"text": "да", "tokens":["д", "а"], "timestamps": [0.1, "x"]})"), expected);
}

TEST(GigaAMOutput, FailuresNameTheirCause)
{
    EXPECT_EQ(errorOf(""), unparsable);
    EXPECT_EQ(errorOf("Done!\n"), unparsable);
    EXPECT_EQ(errorOf(R"(["text"])"), unparsable);
    EXPECT_EQ(errorOf(R"({"text": 1})"), unparsable);
    EXPECT_EQ(errorOf(R"({"text": "да")"), unparsable);
    EXPECT_EQ(errorOf(QByteArray("{\"text\": \"\xff\"}\n")),
              Error::tolvan(40, QStringLiteral("пустой вывод sherpa-onnx")));
}

TEST(GigaAMCommandLine, SevenArgumentsInOrder)
{
    EXPECT_EQ(GigaAMEngine::arguments("/m/gigaam-v3", 4, "/tmp/a.wav"),
              (QStringList{"--encoder=/m/gigaam-v3/encoder.int8.onnx", "--decoder=/m/gigaam-v3/decoder.onnx",
                           "--joiner=/m/gigaam-v3/joiner.onnx", "--tokens=/m/gigaam-v3/tokens.txt",
                           "--model-type=nemo_transducer", "--num-threads=4", "/tmp/a.wav"}));
}
