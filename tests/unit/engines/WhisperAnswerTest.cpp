#include "engines/ChildProcess.h"
#include "engines/Utf8.h"
#include "engines/WhisperServer.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace
{

QByteArray fixture(const QString& name)
{
    QFile file(TestEnvironment::fixture("whisper-server/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Error errorOf(int status, const QByteArray& body)
{
    const Result<TranscriptionResult> result = WhisperServer::interpretAnswer(status, body);
    EXPECT_FALSE(result.ok());
    return result.ok() ? Error::tolvan(-1, {}) : result.error();
}

TranscriptionResult valueOf(int status, const QByteArray& body)
{
    const Result<TranscriptionResult> result = WhisperServer::interpretAnswer(status, body);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().description().toStdString());
    return result.ok() ? result.value() : TranscriptionResult{};
}

} // namespace

TEST(WhisperRequest, MultipartBodyIsByteExact)
{
    const QByteArray wav("RIFF\x00\x01\r\n--x", 12);
    const QByteArray expected = QByteArray("--tolvan-B\r\n"
                                           "Content-Disposition: form-data; name=\"response_format\"\r\n"
                                           "\r\n"
                                           "verbose_json\r\n"
                                           "--tolvan-B\r\n"
                                           "Content-Disposition: form-data; name=\"temperature\"\r\n"
                                           "\r\n"
                                           "0.0\r\n"
                                           "--tolvan-B\r\n"
                                           "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
                                           "Content-Type: audio/wav\r\n"
                                           "\r\n") +
                                wav + "\r\n--tolvan-B--\r\n";
    EXPECT_EQ(WhisperServer::multipartBody("tolvan-B", wav), expected);
}

TEST(WhisperRequest, CommandLineHasTheFixedOrderAndThePromptOnlyWhenGiven)
{
    EXPECT_EQ(WhisperServer::arguments("/m/ggml-small.bin", 41234, 6, "ru", QString()),
              (QStringList{"-m", "/m/ggml-small.bin", "--host", "127.0.0.1", "--port", "41234", "-t", "6", "-l", "ru",
                           "-sns"}));
    EXPECT_EQ(WhisperServer::arguments("/m/a b.bin", 8917, 4, "auto", "Толван, Markdown").mid(10),
              (QStringList{"-sns", "--prompt", "Толван, Markdown"}));
}

TEST(WhisperRequest, ThreadsAreAllCoresButTwoAndAtLeastFour)
{
    EXPECT_EQ(ChildProcess::recognizerThreadCount(6), 4);
    EXPECT_EQ(ChildProcess::recognizerThreadCount(10), 8);
    EXPECT_EQ(ChildProcess::recognizerThreadCount(2), 4);
    EXPECT_EQ(ChildProcess::recognizerThreadCount(1), 4);
}

TEST(WhisperRequest, FreePortCanBeBoundRightAfterwards)
{
    const quint16 port = WhisperServer::freePort();
    EXPECT_NE(port, 0);
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, port)) << port;
}

TEST(WhisperAnswer, VerboseJsonKeepsTheServersTextAndMergesCutSegments)
{
    const TranscriptionResult result = valueOf(200, fixture("scripted_verbose_speech.json"));
    EXPECT_EQ(result.text, QStringLiteral(" Привет, это проверка диктовки. Сегодня хорошая погода и мы\n пойдём гулять "
                                          "в парк\n Спасибо!\n"));
    ASSERT_EQ(result.segments.size(), 3u);
    EXPECT_EQ(result.segments[0].text, QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода и мы"));
    EXPECT_EQ(result.segments[0].endMs, 1760);
}

TEST(WhisperAnswer, TextWithLeadingSpaceAndNoSegmentsIsKeptAsIs)
{
    EXPECT_EQ(valueOf(200, R"({"text":" Да.","segments":[]})"), (TranscriptionResult{QStringLiteral(" Да."), {}}));
}

TEST(WhisperAnswer, WithoutTextTheSegmentsAreJoined)
{
    const TranscriptionResult result =
        valueOf(200, R"({"segments":[{"text":" Один","start":0,"end":1},{"text":" два","start":1,"end":2}]})");
    EXPECT_EQ(result.text, QStringLiteral("Один два"));
    EXPECT_EQ(result.segments.size(), 2u);
    EXPECT_EQ(errorOf(200, R"({"segments":[]})"), Error::tolvan(12, QStringLiteral("не удалось разобрать ответ")));
    EXPECT_EQ(errorOf(200, R"({"text":5})"), Error::tolvan(12, QStringLiteral("не удалось разобрать ответ")));
}

TEST(WhisperAnswer, BodiesThatAreNotAJsonObject)
{
    EXPECT_EQ(valueOf(200, "слово"), (TranscriptionResult{QStringLiteral("слово"), {}}));
    EXPECT_EQ(valueOf(200, "[1, 2]"), (TranscriptionResult{QStringLiteral("[1, 2]"), {}}));
    EXPECT_EQ(errorOf(200, QByteArray("\xd0\x9f\xff", 3)).code(), 12);
    EXPECT_EQ(errorOf(200, QByteArray()), Error::tolvan(11, QStringLiteral("пустой ответ")));
    EXPECT_EQ(errorOf(500, QByteArray()).code(), 11);
}

TEST(WhisperAnswer, ErrorStatusQuotesTheFirst300BytesOrNothingWhenACharacterIsCut)
{
    const QByteArray body = QByteArray(1000, 'x');
    EXPECT_EQ(errorOf(503, body), Error::tolvan(503, "HTTP 503: " + QString(300, 'x')));
    EXPECT_EQ(errorOf(400, "Invalid request"), Error::tolvan(400, QStringLiteral("HTTP 400: Invalid request")));
    // 299 ASCII bytes and a two-byte letter: the cut after byte 300 splits the letter.
    const QByteArray cut = QByteArray(299, 'a') + "ЖЖ";
    EXPECT_EQ(errorOf(500, cut).description(), QStringLiteral("HTTP 500: "));
    EXPECT_EQ(errorOf(0, "garbage").description(), QStringLiteral("HTTP 0: garbage"));
}

TEST(Utf8Decoding, RejectsInvalidAndTruncatedSequences)
{
    EXPECT_EQ(Utf8::decode("ёлка"), QStringLiteral("ёлка"));
    EXPECT_EQ(Utf8::decode(QByteArray()), QString());
    EXPECT_FALSE(Utf8::decode(QByteArray("\xd1", 1)).has_value());
    EXPECT_FALSE(Utf8::decode(QByteArray("a\xc0\xafz", 4)).has_value());
    EXPECT_FALSE(Utf8::decode(QByteArray("\xed\xa0\x80", 3)).has_value());
}
