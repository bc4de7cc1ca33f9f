#include "engines/LoopbackHttp.h"

#include "support/LocalHttpServer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace
{

using Answer = LoopbackHttp::Answer;

std::optional<Result<Answer>> exchange(quint16 port, const LoopbackHttp::Request& request)
{
    QObject context;
    std::optional<Result<Answer>> outcome;
    LoopbackHttp::send(&context, port, request, [&](const Result<Answer>& result) { outcome = result; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    return outcome;
}

} // namespace

TEST(LoopbackHttpParsing, AnswersAreCompleteByLengthChunksOrClose)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    EXPECT_FALSE(LoopbackHttp::parse(head + "Content-Length: 4\r\n\r\nab", false).has_value());
    EXPECT_EQ(*LoopbackHttp::parse(head + "content-length: 4\r\n\r\nabcd", false), (Answer{200, "abcd"}));
    EXPECT_FALSE(LoopbackHttp::parse(head + "\r\nabc", false).has_value());
    EXPECT_EQ(*LoopbackHttp::parse(head + "\r\nabc", true), (Answer{200, "abc"}));
    const QByteArray chunked = "HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n";
    EXPECT_FALSE(LoopbackHttp::parse(chunked, false).has_value());
    EXPECT_EQ(*LoopbackHttp::parse(chunked + "0\r\n\r\n", false), (Answer{503, "abcde"}));
}

TEST(LoopbackHttpParsing, WhatIsNotHttpCountsAsStatusZeroOnceClosed)
{
    EXPECT_FALSE(LoopbackHttp::parse("HTT", false).has_value());
    EXPECT_FALSE(LoopbackHttp::parse("garbage", false).has_value());
    EXPECT_EQ(*LoopbackHttp::parse("garbage", true), (Answer{0, "garbage"}));
    EXPECT_EQ(*LoopbackHttp::parse("HTTP/1.1 xyz\r\n\r\n", true), (Answer{0, ""}));
    // Closed before anything arrived, or in the middle of a body of known length: no answer at all.
    EXPECT_FALSE(LoopbackHttp::parse("", true).has_value());
    EXPECT_FALSE(LoopbackHttp::parse("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nab", true).has_value());
}

TEST(LoopbackHttpExchange, SendsTheWholeRequestAndReadsTheAnswer)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpResponse::json(R"({"text":"да"})"); });
    ASSERT_TRUE(server.listen());
    LoopbackHttp::Request request;
    request.method = "POST";
    request.path = "/inference";
    request.contentType = "multipart/form-data; boundary=b";
    request.body = QByteArray(3 * 1024 * 1024, 'w');
    const auto outcome = exchange(server.port(), request);
    ASSERT_TRUE(outcome.has_value() && outcome->ok());
    EXPECT_EQ(outcome->value(), (Answer{200, R"({"text":"да"})"}));
    ASSERT_EQ(server.requests().size(), 1);
    const HttpRequest& received = server.requests().front();
    EXPECT_EQ(received.method, QByteArray("POST"));
    EXPECT_EQ(received.path, QByteArray("/inference"));
    EXPECT_EQ(received.header("content-type"), QByteArray("multipart/form-data; boundary=b"));
    EXPECT_EQ(received.body, request.body);
}

TEST(LoopbackHttpExchange, AnswerEndingWithTheConnection)
{
    LocalHttpServer server([](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(404, "File Not Found (/)");
        response.sendContentLength = false;
        return response;
    });
    ASSERT_TRUE(server.listen());
    const auto outcome = exchange(server.port(), {});
    ASSERT_TRUE(outcome.has_value() && outcome->ok());
    EXPECT_EQ(outcome->value(), (Answer{404, "File Not Found (/)"}));
}

TEST(LoopbackHttpExchange, TransportFailuresAreSystemErrors)
{
    LocalHttpServer server([](const HttpRequest& request) {
        HttpResponse response = HttpResponse::json(QByteArray(1000, 'x'));
        if (request.path == "/drop")
            response.dropAfterBytes = 10;
        else
            response.delayMs = -1;
        return response;
    });
    ASSERT_TRUE(server.listen());
    LoopbackHttp::Request request;
    request.path = "/drop";
    auto outcome = exchange(server.port(), request);
    ASSERT_TRUE(outcome.has_value());
    ASSERT_FALSE(outcome->ok());
    EXPECT_FALSE(outcome->error().isTolvan());

    request.path = "/silent";
    request.idleTimeoutMs = 200;
    outcome = exchange(server.port(), request);
    ASSERT_TRUE(outcome.has_value());
    ASSERT_FALSE(outcome->ok());
    EXPECT_EQ(outcome->error().code(), QAbstractSocket::SocketTimeoutError);

    quint16 closedPort = 0;
    {
        LocalHttpServer probe;
        ASSERT_TRUE(probe.listen());
        closedPort = probe.port();
    }
    outcome = exchange(closedPort, {});
    ASSERT_TRUE(outcome.has_value());
    ASSERT_FALSE(outcome->ok());
    EXPECT_EQ(outcome->error().code(), QAbstractSocket::ConnectionRefusedError);
}

TEST(LoopbackHttpExchange, NoCallbackOnceTheContextIsGone)
{
    LocalHttpServer server([](const HttpRequest&) {
        HttpResponse response = HttpResponse::json("{}");
        response.delayMs = 500;
        return response;
    });
    ASSERT_TRUE(server.listen());
    bool called = false;
    auto context = std::make_unique<QObject>();
    LoopbackHttp::send(context.get(), server.port(), {}, [&](const Result<Answer>&) { called = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 1; }, 5000));
    context.reset();
    QTest::qWait(800);
    EXPECT_FALSE(called);
}
