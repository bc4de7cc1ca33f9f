#include "update/UpdateFeed.h"

#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "update/BundleInfo.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace
{

std::optional<FeedInfo> parse(const char* json)
{
    return UpdateFeed::parse(QByteArray(json), QUrl(QStringLiteral("https://updates.example.org/tolvan/feed.json")));
}

} // namespace

TEST(UpdateFeed, UnusableAnswersCarryNoInformation)
{
    for (const char* answer :
         {"<html>404 Not Found</html>",
          "[]",
          R"({"build": 7, "size": 10, "url": "https://x.org/a"})",
          R"({"version": 2, "build": 7, "size": 10, "url": "https://x.org/a"})",
          R"({"version": "2", "size": 10, "url": "https://x.org/a"})",
          R"({"version": "2", "build": "7", "size": 10, "url": "https://x.org/a"})",
          R"({"version": "2", "build": 7.5, "size": 10, "url": "https://x.org/a"})",
          R"({"version": "2", "build": 1e300, "size": 10, "url": "https://x.org/a"})",
          R"({"version": "2", "build": 7, "size": 10})",
          R"({"version": "2", "build": 7, "size": 10, "url": 5})",
          R"({"version": "2", "build": 7, "url": "https://x.org/a"})",
          R"({"version": "2", "build": 7, "size": -1, "url": "https://x.org/a"})",
          R"({"version": "2", "build": 7, "size": "10", "url": "https://x.org/a"})",
          R"({"version": "2", "build": 7, "size": 10.5, "url": "https://x.org/a"})",
          R"({"version": "2", "build": 7, "size": 10, "url": ""})",
          R"({"version": "2", "build": 7, "size": 10, "url": "http://exa mple.org/a"})",
          R"({"version": "2", "build": 7, "size": 10, "url": "https://x.org/a", "sha256": "abc"})",
          R"({"version": "2", "build": 7, "size": 10, "url": "https://x.org/a", "sha256": 12})",
          R"({"version": "2", "build": 7, "size": 10, "url": "https://x.org/a", "signature": ["c2ln"]})",
          R"({"version": "2", "build": 7, "size": 10, "url": "https://x.org/a",
              "sha256": "zz00000000000000000000000000000000000000000000000000000000000000"})"})
        EXPECT_FALSE(parse(answer)) << answer;
    const auto usable = parse(R"({"version": "2", "build": 7, "size": 0, "url": "a.tar.gz"})");
    ASSERT_TRUE(usable);
    EXPECT_EQ(usable->size, 0);
    EXPECT_EQ(parse(R"({"version": "2", "build": 7, "size": 9007199254740992, "url": "a.tar.gz"})")->size,
              9007199254740992);
}

TEST(BundleInfo, ReadsTheIdentityAndCountsBuildsThatAreNotWholeNumbersAsZero)
{
    const QString bundle = TestEnvironment::makeDirectory(QStringLiteral("bundle"));
    ASSERT_FALSE(TestFiles::write(BundleInfo::infoFile(bundle),
                                  R"({"CFBundleIdentifier": "org.tolvan.Tolvan", "CFBundleVersion": "17"})")
                     .isNull());
    const auto info = BundleInfo::read(bundle);
    ASSERT_TRUE(info);
    EXPECT_EQ(BundleInfo::identifier(*info), QStringLiteral("org.tolvan.Tolvan"));
    EXPECT_EQ(BundleInfo::installedBuild(bundle), 17);
    EXPECT_EQ(BundleInfo::installedBuild(TestEnvironment::home() + QStringLiteral("/nothing.app")), 0);
    // A build given as text is a decimal integer with an optional sign and nothing else.
    const std::pair<QJsonValue, qint64> builds[] = {
        {9, 9},   {2.5, 0},  {1e300, 0}, {QJsonValue(), 0},          {"+90", 90}, {"-3", -3}, {"", 0},
        {"+", 0}, {" 5", 0}, {"17b", 0}, {"99999999999999999999", 0}};
    for (const auto& [version, build] : builds)
        EXPECT_EQ(BundleInfo::build(QJsonObject{{"CFBundleVersion", version}}), build)
            << version.toVariant().toString().toStdString();
}
