#include "update/FeedRequest.h"

#include "support/LocalHttpServer.h"

#include <QNetworkAccessManager>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace
{

const QByteArray feed =
    R"({"version": "9.9.9", "build": 99, "url": "Tolvan.tar.gz", "notes": ")" + QByteArray(300, 'n') + R"("})";

std::optional<FeedAnswer> fetchFrom(LocalHttpServer& server, FeedRequest::Limits limits)
{
    QNetworkAccessManager network;
    QObject context;
    std::optional<FeedAnswer> answer;
    FeedRequest::fetch(
        network, server.url(QStringLiteral("/feed.json")), &context,
        [&](const FeedAnswer& received) { answer = received; }, limits);
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
    return answer;
}

} // namespace

TEST(FeedRequest, AFeedTricklingInIsCutOffByTheOverallLimit)
{
    int interval = 50;
    LocalHttpServer server([&](const HttpRequest&) {
        HttpResponse response = HttpResponse::json(feed);
        response.chunkSize = interval > 0 ? 1 : 0;
        response.chunkIntervalMs = interval;
        return response;
    });
    ASSERT_TRUE(server.listen());
    // A byte every 50 ms never lets the inactivity limit strike.
    std::optional<FeedAnswer> answer = fetchFrom(server, {.inactivityMs = 2000, .totalMs = 600});
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->info.has_value());
    ASSERT_TRUE(answer->transportError.has_value());
    EXPECT_EQ(answer->transportError->description(), QStringLiteral("сервер не ответил вовремя"));

    // Within the limit the same feed is read.
    interval = 0;
    answer = fetchFrom(server, {.inactivityMs = 2000, .totalMs = 600});
    ASSERT_TRUE(answer.has_value());
    ASSERT_TRUE(answer->info.has_value());
    EXPECT_EQ(answer->info->build, 99);
    EXPECT_FALSE(answer->transportError.has_value());
}
