#include "support/LocalHttpServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace
{

struct Fetched
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    int progressCalls = 0;
    bool sawUnknownTotal = false;
};

Fetched fetch(QNetworkAccessManager& network, const QUrl& url, const QByteArray& postBody = {})
{
    QNetworkRequest request(url);
    request.setTransferTimeout(3000);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    std::unique_ptr<QNetworkReply> reply(postBody.isNull() ? network.get(request) : network.post(request, postBody));
    Fetched fetched;
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, [&](qint64, qint64 total) {
        ++fetched.progressCalls;
        fetched.sawUnknownTotal = fetched.sawUnknownTotal || total < 0;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 10000));
    fetched.error = reply->error();
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    fetched.body = reply->readAll();
    return fetched;
}

} // namespace

TEST(LocalHttpServer, AnswersAndRecordsRequestsOnOneConnection)
{
    LocalHttpServer server([](const HttpRequest& request) {
        if (request.path == "/echo")
            return HttpResponse::json("{\"got\":\"" + request.body + "\",\"q\":\"" + request.query + "\"}");
        return HttpResponse::text(404, "File Not Found");
    });
    ASSERT_TRUE(server.listen());
    QNetworkAccessManager network;
    const Fetched first = fetch(network, server.url(QStringLiteral("/echo?x=1")), "тело");
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(QString::fromUtf8(first.body), QStringLiteral("{\"got\":\"тело\",\"q\":\"x=1\"}"));
    const Fetched missing = fetch(network, server.url(QStringLiteral("/other")));
    EXPECT_EQ(missing.status, 404);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[0].method, "POST");
    EXPECT_EQ(server.requests()[0].header("content-type"), "application/octet-stream");
    EXPECT_EQ(server.requests()[1].path, "/other");
}

TEST(LocalHttpServer, BodyWithoutLengthTricklesUntilTheConnectionCloses)
{
    LocalHttpServer server([](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(200, QByteArray(4000, 'a'), "application/octet-stream");
        response.sendContentLength = false;
        response.chunkSize = 1000;
        response.chunkIntervalMs = 20;
        return response;
    });
    ASSERT_TRUE(server.listen());
    QNetworkAccessManager network;
    const Fetched fetched = fetch(network, server.url());
    EXPECT_EQ(fetched.error, QNetworkReply::NoError);
    EXPECT_EQ(fetched.body.size(), 4000);
    EXPECT_GE(fetched.progressCalls, 2);
    EXPECT_TRUE(fetched.sawUnknownTotal);
}

TEST(LocalHttpServer, DroppedConnectionAndSilenceAreErrorsForTheClient)
{
    LocalHttpServer server([](const HttpRequest& request) {
        HttpResponse response = HttpResponse::text(200, QByteArray(1000, 'b'));
        if (request.path == "/drop")
            response.dropAfterBytes = 100;
        else
            response.delayMs = -1;
        return response;
    });
    ASSERT_TRUE(server.listen());
    QNetworkAccessManager network;
    const Fetched dropped = fetch(network, server.url(QStringLiteral("/drop")));
    EXPECT_NE(dropped.error, QNetworkReply::NoError);
    const Fetched silent = fetch(network, server.url(QStringLiteral("/silent")));
    EXPECT_NE(silent.error, QNetworkReply::NoError);
}
