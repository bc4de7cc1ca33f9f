#include "update/UpdateFeed.h"

#include <gtest/gtest.h>

namespace
{

const QUrl feedAddress(QStringLiteral("https://updates.example.org/tolvan/feed.json"));

std::optional<FeedInfo> parse(const char* json)
{
    return UpdateFeed::parse(QByteArray(json), feedAddress);
}

} // namespace

TEST(UpdateFeed, ReadsEveryMemberAndResolvesRelativeAddresses)
{
    const auto info = parse(R"({"version": "1.4.0", "build": 42, "url": "https://cdn.example.org/T.tar.gz",
                                "notes": "Быстрее распознавание", "sha256": "ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789"})");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version, QStringLiteral("1.4.0"));
    EXPECT_EQ(info->build, 42);
    EXPECT_EQ(info->url, QUrl(QStringLiteral("https://cdn.example.org/T.tar.gz")));
    EXPECT_EQ(info->notes, QStringLiteral("Быстрее распознавание"));
    EXPECT_EQ(info->sha256, QByteArray("abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789"));

    // Optional members may be missing, notes of another type count as none.
    const auto minimal = parse(R"({"version": "2", "build": 7, "url": "images/Tolvan-2.tar.gz", "notes": ["a"]})");
    ASSERT_TRUE(minimal);
    EXPECT_EQ(minimal->url, QUrl(QStringLiteral("https://updates.example.org/tolvan/images/Tolvan-2.tar.gz")));
    EXPECT_TRUE(minimal->notes.isEmpty());
    EXPECT_TRUE(minimal->sha256.isEmpty());
}

TEST(UpdateFeed, UnusableAnswersCarryNoInformation)
{
    const char* answers[] = {
        "<html>404 Not Found</html>",
        "[]",
        R"({"build": 7, "url": "https://x.org/a"})",
        R"({"version": 2, "build": 7, "url": "https://x.org/a"})",
        R"({"version": "2", "url": "https://x.org/a"})",
        R"({"version": "2", "build": "7", "url": "https://x.org/a"})",
        R"({"version": "2", "build": 7.5, "url": "https://x.org/a"})",
        R"({"version": "2", "build": 1e300, "url": "https://x.org/a"})",
        R"({"version": "2", "build": 7})",
        R"({"version": "2", "build": 7, "url": 5})",
        R"({"version": "2", "build": 7, "url": ""})",
        R"({"version": "2", "build": 7, "url": "http://exa mple.org/a"})",
        R"({"version": "2", "build": 7, "url": "https://x.org/a", "sha256": "abc"})",
        R"({"version": "2", "build": 7, "url": "https://x.org/a", "sha256": 12})",
        R"({"version": "2", "build": 7, "url": "https://x.org/a",
            "sha256": "zz00000000000000000000000000000000000000000000000000000000000000"})",
    };
    for (const char* answer : answers)
        EXPECT_FALSE(parse(answer)) << answer;
}

TEST(UpdateFeed, PlaceholderHostsTurnUpdatesOff)
{
    for (const char* url : {"https://updates.tolvan.invalid/feed.json", "https://UPDATES.Tolvan.INVALID/feed.json", ""})
        EXPECT_FALSE(UpdateFeed::isConfigured(QUrl(QString::fromLatin1(url)))) << url;
    for (const char* url :
         {"http://127.0.0.1:8080/feed.json", "https://invalid.example.org/feed.json", "file:///srv/feed.json"})
        EXPECT_TRUE(UpdateFeed::isConfigured(QUrl(QString::fromLatin1(url)))) << url;
}

TEST(UpdateFeed, DecimalNumbersAreSignAndDigitsOnly)
{
    EXPECT_EQ(UpdateFeed::parseDecimal(QStringLiteral("42")), 42);
    EXPECT_EQ(UpdateFeed::parseDecimal(QStringLiteral("+7")), 7);
    EXPECT_EQ(UpdateFeed::parseDecimal(QStringLiteral("-3")), -3);
    for (const char* text : {"", "+", " 5", "5 ", "4 2", "12a", "0x10", "1.0", "99999999999999999999"})
        EXPECT_FALSE(UpdateFeed::parseDecimal(QString::fromLatin1(text))) << text;
}
