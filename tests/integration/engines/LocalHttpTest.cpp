#include "children/LocalHttp.h"

#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using Answer = LocalHttp::Answer;

TEST(LocalHttpParsing, AnswersAreCompleteByLengthChunksOrClose)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    const QByteArray chunked = "HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n";
    const struct
    {
        QByteArray bytes;
        bool closed;
        std::optional<Answer> expected;
    } rows[] = {
        {head + "Content-Length: 4\r\n\r\nab", false, std::nullopt},
        {head + "content-length: 4\r\n\r\nabcd", false, Answer{200, "abcd"}},
        {head + "\r\nabc", false, std::nullopt},
        {head + "\r\nabc", true, Answer{200, "abc"}},
        {chunked, false, std::nullopt},
        {chunked + "0\r\n\r\n", false, Answer{503, "abcde"}},
        // A chunk size near the largest number waits for its bytes instead of wrapping past the end.
        {chunked + "7ffffffffffffffa\r\nxy\r\n0\r\n\r\n", false, std::nullopt},
        // What is not HTTP counts as status 0 once the connection is closed.
        {"garbage", false, std::nullopt},
        {"garbage", true, Answer{0, "garbage"}},
        {"HTTP/1.1 xyz\r\n\r\n", true, Answer{0, ""}},
        // Closed before anything arrived, or in the middle of a body of known length: no answer at all.
        {"", true, std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nab", true, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LocalHttp::parse(row.bytes, row.closed), row.expected)
            << row.bytes.toStdString() << (row.closed ? " (closed)" : "");
}

TEST(LocalHttpExchange, ATricklingAnswerIsCutOffByTheOverallLimitAndNoCallbackOutlivesItsContext)
{
    // A byte every 50 ms never lets the idle limit strike.
    LocalHttpServer server([](const HttpRequest&) {
        HttpResponse response = HttpResponse::json(QByteArray(1000, ' ') + "{}");
        response.chunkSize = 1;
        response.chunkIntervalMs = 50;
        return response;
    });
    const QString socket = TestEnvironment::makeDirectory(QStringLiteral("sockets")) + QStringLiteral("/server.sock");
    ASSERT_TRUE(server.listenOn(socket));
    LocalHttp::Request request;
    request.idleTimeoutMs = 2000;
    request.totalTimeoutMs = 600;
    std::optional<Result<Answer>> outcome;
    QObject context;
    LocalHttp::send(&context, socket, request, [&](const Result<Answer>& result) { outcome = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    ASSERT_FALSE(outcome->ok());
    EXPECT_EQ(outcome->error(), Error::system(QStringLiteral("QLocalSocket"), QLocalSocket::SocketTimeoutError,
                                              QStringLiteral("сервер не ответил вовремя")));

    // Gone before that limit strikes, the context takes the callback with it.
    bool called = false;
    auto shortLived = std::make_unique<QObject>();
    LocalHttp::send(shortLived.get(), socket, request, [&](const Result<Answer>&) { called = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 2; }, 5000));
    shortLived.reset();
    // A request sent later with the same limit fails later: by then the first one's answer would have come.
    outcome.reset();
    LocalHttp::send(&context, socket, request, [&](const Result<Answer>& result) { outcome = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    EXPECT_FALSE(called);

    // An answer larger than the request allows ends the exchange, however it is framed.
    request.totalTimeoutMs = 10000;
    request.maxAnswerBytes = 4000;
    for (const bool sendLength : {true, false}) {
        server.setHandler([sendLength](const HttpRequest&) {
            HttpResponse response = HttpResponse::json(QByteArray(5000, ' ') + "{}");
            response.sendContentLength = sendLength;
            return response;
        });
        outcome.reset();
        LocalHttp::send(&context, socket, request, [&](const Result<Answer>& result) { outcome = result; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
        EXPECT_EQ(outcome->error(), LocalHttp::answerTooLarge()) << sendLength;
    }
}
