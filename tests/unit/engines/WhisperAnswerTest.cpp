#include "audio/WavWriter.h"
#include "children/ChildProcess.h"
#include "engines/WhisperServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace
{

// What an answer came to, as text, so that one table holds results and errors alike.
std::string outcomeOf(int status, const QByteArray& body)
{
    const Result<TranscriptionResult> result = WhisperServer::interpretAnswer(status, body);
    if (!result.ok())
        return (result.error().isTolvan() ? "tolvan " : "system ") + std::to_string(result.error().code()) + ": " +
               result.error().description().toStdString();
    std::string text = "text \"" + result.value().text.toStdString() + "\"";
    for (const SpeechSegment& segment : result.value().segments)
        text += " [" + segment.text.toStdString() + "]";
    return text;
}

} // namespace

TEST(WhisperRequest, MultipartBodyIsByteExact)
{
    const auto field = [](const QByteArray& name, const QByteArray& value) {
        return "--tolvan-B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    };
    const QByteArray wav("RIFF\x00\x01\r\n--x", 12);
    const QByteArray fields = field("response_format", "verbose_json") + field("temperature", "0.0") +
                              field("no_language_probabilities", "true") + field("entropy_thold", "2.8") +
                              field("logprob_thold", "-1.25");
    const QByteArray file = "--tolvan-B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
                            "Content-Type: audio/wav\r\n\r\n" +
                            wav + "\r\n--tolvan-B--\r\n";
    EXPECT_EQ(WhisperServer::multipartBody("tolvan-B", wav), fields + file);
    // Text said before this recording goes after the fixed fields.
    EXPECT_EQ(WhisperServer::multipartBody("tolvan-B", wav, QStringLiteral("Привет.")),
              fields + field("prompt", "Привет.") + file);
}

TEST(WhisperRequest, WavHeaderEqualsTheOneSoxWritesAndSamplesAreLittleEndian)
{
    const QByteArray silence = WavWriter::data(std::vector<int16_t>(16000, 0), 16000);
    EXPECT_EQ(silence.left(44),
              TestFiles::read(TestEnvironment::fixture(QStringLiteral("whisper-server/silence_1s.wav"))).left(44));
    const QByteArray samples = WavWriter::data(std::vector<int16_t>{-1, 256, 32767, -32768}, 16000);
    EXPECT_EQ(samples.mid(40), QByteArray::fromHex("08000000ffff0001ff7f0080"));
}

TEST(WhisperRequest, ThreadsAreAllCoresButTwoAndAtLeastFour)
{
    for (const auto& [cores, threads] : {std::pair{6, 4}, {10, 8}, {2, 4}, {1, 4}})
        EXPECT_EQ(ChildProcess::recognizerThreadCount(cores), threads) << cores << " cores";
}

TEST(WhisperAnswer, BodiesAndStatuses)
{
    const std::string unparsable = "tolvan 12: не удалось разобрать ответ";
    const struct
    {
        int status;
        QByteArray body;
        std::string expected;
    } rows[] = {
        // Text with a leading space and no segments is kept as is.
        {200, R"({"text":" Да.","segments":[]})", "text \" Да.\""},
        // Without text the segments are joined.
        {200, R"({"segments":[{"text":" Один","start":0,"end":1},{"text":" два","start":1,"end":2}]})",
         "text \"Один два\" [Один] [два]"},
        {200, R"({"segments":[]})", unparsable},
        {200, R"({"text":5})", unparsable},
        // Plain text is a transcript; broken JSON and web pages are not.
        {200, "ёлка", "text \"ёлка\""},
        {200, "[1, 2]", unparsable},
        {200, R"( {"text":" Приве)", unparsable},
        {200, "<html><body>502 Bad Gateway</body></html>", unparsable},
        // So is text that is not UTF-8.
        {200, QByteArray("\xd0\x9f\xff", 3), unparsable},
        {200, QByteArray(), "tolvan 11: пустой ответ"},
        {500, QByteArray(), "tolvan 11: пустой ответ"},
        // An error status quotes the first 300 bytes, or nothing when that cuts a character.
        {503, QByteArray(1000, 'x'), "tolvan 503: HTTP 503: " + std::string(300, 'x')},
        {400, "Invalid request", "tolvan 400: HTTP 400: Invalid request"},
        {500, QByteArray(299, 'a') + "ЖЖ", "tolvan 500: HTTP 500: "},
        {0, "garbage", "tolvan 0: HTTP 0: garbage"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(outcomeOf(row.status, row.body), row.expected)
            << row.status << " " << row.body.left(40).toStdString();
}
