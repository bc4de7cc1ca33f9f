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

using Segments = std::vector<SpeechSegment>;

} // namespace

TEST(GigaAMSegments, APauseSplitsOnlyBeforeAWordStart)
{
    const struct
    {
        QStringList tokens;
        std::vector<double> times;
        Segments expected;
    } rows[] = {
        {{" При", "вет", " мир"}, {0.0, 0.2, 1.5}, {{"Привет", 0, 440, 0, 0}, {"мир", 1500, 1740, 0, 0}}},
        // The long pause comes before a continuation: one piece.
        {{" При", "вет", " мир"}, {0.0, 1.0, 1.2}, {{"Привет мир", 0, 1440, 0, 0}}},
        // Character tokens split at the space token after a pause.
        {{"д", "а", " ", "н", "е", "т"},
         {0.1, 0.2, 1.0, 1.04, 1.08, 1.12},
         {{"да", 100, 440, 0, 0}, {"нет", 1000, 1360, 0, 0}}},
        // Mismatched or empty input gives nothing; pieces left blank by the trim are dropped.
        {{"а", "б"}, {0.1}, {}},
        {{}, {}, {}},
        {{" ", "\t"}, {0.0, 0.1}, {}},
        // Line breaks are not trimmed.
        {{"а\n"}, {0.0}, {{"а\n", 0, 240, 0, 0}}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(GigaAMEngine::segments(row.tokens, row.times, 600), row.expected)
            << row.tokens.join('|').toStdString();
}

TEST(GigaAMOutput, RecordedOutputsAndScriptedLines)
{
    const QString weather = QStringLiteral("привет это проверка диктовки сегодня хорошая погода");
    const struct
    {
        QByteArray output;
        TranscriptionResult expected;
    } rows[] = {
        {fixture("stdout_char_vocab.txt"), {weather, {{weather, 240, 4240, 0, 0}}}},
        {fixture("stdout_silence.txt"), {}},
        // The first line with quoted text is used.
        {"\nwarning: \"tex\" here\n"
         R"({"text": "один", "tokens":[" один"], "timestamps": [0.5]})"
         "\n"
         R"({"text": "два"})"
         "\n",
         {"один", {{"один", 500, 740, 0, 0}}}},
        // Missing or malformed tokens give the text without segments.
        {R"({"text": "да", "timestamps": [0.1]})", {"да", {}}},
        {R"({"text": "да", "tokens":["д", "а"], "timestamps": [0.1]})", {"да", {}}},
        {R"({"text": "да", "tokens":["д", 5], "timestamps": [0.1, 0.2]})", {"да", {}}},
        {R"({"text": "да", "tokens":["д", "а"], "timestamps": [0.1, "x"]})", {"да", {}}},
    };
    for (const auto& row : rows) {
        const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(row.output);
        ASSERT_TRUE(result.ok()) << row.output.toStdString();
        EXPECT_EQ(result.value(), row.expected) << row.output.toStdString();
    }

    const Result<TranscriptionResult> speech = GigaAMEngine::parseOutput(fixture("stdout_punct_bpe.txt"));
    ASSERT_TRUE(speech.ok());
    EXPECT_EQ(speech.value().text, QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода."));
    EXPECT_EQ(speech.value().segments.size(), 1u);
}

TEST(GigaAMOutput, FailuresNameTheirCause)
{
    const Error unparsable = Error::tolvan(40, QStringLiteral("не удалось разобрать ответ sherpa-onnx"));
    const std::pair<QByteArray, Error> rows[] = {
        {"", unparsable},
        {"Done!\n", unparsable},
        {R"(["text"])", unparsable},
        {R"({"text": 1})", unparsable},
        {R"({"text": "да")", unparsable},
        {"{\"text\": \"\xff\"}\n", Error::tolvan(40, QStringLiteral("пустой вывод sherpa-onnx"))},
    };
    for (const auto& [output, expected] : rows) {
        const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(output);
        ASSERT_FALSE(result.ok()) << output.toStdString();
        EXPECT_EQ(result.error(), expected) << output.toStdString();
    }
}

TEST(GigaAMOutput, TimesBeyondRangeLeaveTheirPieceOut)
{
    const QByteArray tokens = R"("tokens": [" один", " два"])";
    const struct
    {
        QByteArray timestamps;
        Segments expected;
    } rows[] = {
        {"[0.5, 3.0]", {{"один", 500, 740, 0, 0}, {"два", 3000, 3240, 0, 0}}},
        {"[0.5, 1e300]", {{"один", 500, 740, 0, 0}}},
        {"[-1e300, 3.0]", {{"два", 3000, 3240, 0, 0}}},
        {"[1e300, 0.5]", {}},
        {"[9.3e15, 9.3e15]", {}},
        // Times before the recording or going back make no piece either.
        {"[-0.5, 3.0]", {{"два", 3000, 3240, 0, 0}}},
        {"[3.0, 0.5]", {}},
    };
    for (const auto& row : rows) {
        const QByteArray output = R"({"text": "один два", )" + tokens + R"(, "timestamps": )" + row.timestamps + "}";
        const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(output);
        ASSERT_TRUE(result.ok()) << output.toStdString();
        EXPECT_EQ(result.value().text, QStringLiteral("один два"));
        EXPECT_EQ(result.value().segments, row.expected) << output.toStdString();
    }
}
