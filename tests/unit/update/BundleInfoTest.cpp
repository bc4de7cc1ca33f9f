#include "update/BundleInfo.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace
{

QString bundleWithInfo(const QByteArray& json)
{
    const QString bundle = TestEnvironment::makeDirectory(QStringLiteral("bundle"));
    QDir().mkpath(bundle + QStringLiteral("/Contents"));
    QFile file(BundleInfo::infoFile(bundle));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(json);
    return bundle;
}

} // namespace

TEST(BundleInfo, ReadsTheIdentityAndCountsBuildsThatAreNotNumbersAsZero)
{
    const QString bundle = bundleWithInfo(R"({"CFBundleIdentifier": "org.tolvan.Tolvan",
                                              "CFBundleShortVersionString": "1.2", "CFBundleVersion": "17"})");
    const auto info = BundleInfo::read(bundle);
    ASSERT_TRUE(info);
    EXPECT_EQ(BundleInfo::identifier(*info), QStringLiteral("org.tolvan.Tolvan"));
    EXPECT_EQ(BundleInfo::build(*info), 17);
    EXPECT_EQ(BundleInfo::installedBuild(bundle), 17);
    EXPECT_EQ(BundleInfo::installedBuild(bundleWithInfo(R"({"CFBundleVersion": 9})")), 9);
    for (const char* json :
         {R"({"CFBundleVersion": "17b"})", R"({"CFBundleIdentifier": "x"})", R"({"CFBundleVersion": 2.5})", "not json"})
        EXPECT_EQ(BundleInfo::installedBuild(bundleWithInfo(json)), 0) << json;
    EXPECT_EQ(BundleInfo::installedBuild(TestEnvironment::home() + QStringLiteral("/nothing.app")), 0);
}
