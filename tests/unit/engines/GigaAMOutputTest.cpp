#include "engines/GigaAMEngine.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace
{

QByteArray fixture(const QString& name)
{
    return TestFiles::read(TestEnvironment::fixture("sherpa-onnx-offline/" + name));
}

// A line of the recognizer with the text "т" and these tokens and times (seconds).
QByteArray timed(const QByteArray& tokens, const QByteArray& timestamps)
{
    return R"({"text": "т", "tokens": )" + tokens + R"(, "timestamps": )" + timestamps + "}";
}

TranscriptionResult result(const char* text, const std::vector<SpeechSegment>& segments)
{
    return {QString::fromUtf8(text), segments};
}

} // namespace

TEST(GigaAMOutput, RecordedScriptedAndBrokenOutputs)
{
    const QString weather = QStringLiteral("привет это проверка диктовки сегодня хорошая погода");
    const QString punctuated = QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода.");
    const Error unparsable = Error::tolvan(40, QStringLiteral("не удалось разобрать ответ sherpa-onnx"));
    const QByteArray words = R"([" один", " два"])";
    const std::pair<QByteArray, Result<TranscriptionResult>> rows[] = {
        {fixture("stdout_char_vocab.txt"), TranscriptionResult{weather, {{weather, 240, 4240}}}},
        {fixture("stdout_punct_bpe.txt"), TranscriptionResult{punctuated, {{punctuated, 200, 3440}}}},
        {fixture("stdout_silence.txt"), TranscriptionResult{}},
        // The first line with quoted text is used.
        {"\nwarning: \"tex\" here\n" + timed(R"([" один"])", "[0.5]") + "\n" + R"({"text": "два"})" + "\n",
         result("т", {{"один", 500, 740}})},
        // A pause of 600 ms splits only before a word start; each piece ends 240 ms after its last token.
        {timed(R"([" При", "вет", " мир"])", "[0.0, 0.2, 1.5]"),
         result("т", {{"Привет", 0, 440}, {"мир", 1500, 1740}})},
        {timed(R"([" При", "вет", " мир"])", "[0.0, 1.0, 1.2]"), result("т", {{"Привет мир", 0, 1440}})},
        // At the boundary: a pause of exactly 600 ms splits (0.4 → 1.0 is 599.99… ms in binary), 599 ms does not.
        {timed(R"([" При", "вет", " мир"])", "[0.1, 0.4, 1.0]"),
         result("т", {{"Привет", 100, 640}, {"мир", 1000, 1240}})},
        {timed(R"([" При", "вет", " мир", " да"])", "[0.1, 0.4, 0.999, 1.5]"),
         result("т", {{"Привет мир да", 100, 1740}})},
        // Pieces left blank by the trim are dropped; line breaks are not trimmed.
        {timed(R"([" ", "\t"])", "[0.0, 0.1]"), result("т", {})},
        {timed(R"(["а\n"])", "[0.0]"), result("т", {{"а\n", 0, 240}})},
        // Missing, mismatched or malformed tokens give the text without segments.
        {R"({"text": "да", "timestamps": [0.1]})", result("да", {})},
        {timed(R"(["д", "а"])", "[0.1]"), result("т", {})},
        {timed(R"(["д", 5])", "[0.1, 0.2]"), result("т", {})},
        {timed(R"(["д", "а"])", R"([0.1, "x"])"), result("т", {})},
        // Times that do not fit, lie before the recording or go back leave their piece out.
        {timed(words, "[0.5, 3.0]"), result("т", {{"один", 500, 740}, {"два", 3000, 3240}})},
        {timed(words, "[0.5, 1e300]"), result("т", {{"один", 500, 740}})},
        {timed(words, "[-0.5, 3.0]"), result("т", {{"два", 3000, 3240}})},
        {timed(words, "[9.3e15, 9.3e15]"), result("т", {})},
        {timed(words, "[3.0, 0.5]"), result("т", {})},
        {"", unparsable},
        {R"(["text"])", unparsable},
        {R"({"text": 1})", unparsable},
        {R"({"text": "да")", unparsable},
        {"{\"text\": \"\xff\"}\n", Error::tolvan(40, QStringLiteral("пустой вывод sherpa-onnx"))},
    };
    for (const auto& [output, expected] : rows) {
        const Result<TranscriptionResult> parsed = GigaAMEngine::parseOutput(output);
        ASSERT_EQ(parsed.ok(), expected.ok()) << output.toStdString();
        if (expected.ok()) {
            EXPECT_EQ(parsed.value(), expected.value()) << output.toStdString();
        } else {
            EXPECT_EQ(parsed.error(), expected.error()) << output.toStdString();
        }
    }
}
