#include "BuildInfo.h"
#include "TestImage.h"
#include "UpdateServer.h"
#include "core/Paths.h"
#include "support/TestEnvironment.h"
#include "support/TolvanProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace
{

const QString identifier = QString::fromUtf8(BuildInfo::bundleIdentifier);
constexpr int waitMs = 30000;

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class UpdateNowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        tempDir = TestEnvironment::makeDirectory(QStringLiteral("tmp"));
        optDir = TestEnvironment::makeDirectory(QStringLiteral("opt"));
        installDir = optDir + QStringLiteral("/Толван.app");
        TestImage::installBundle(installDir, identifier, QStringLiteral("1.3"), 3);
    }

    // The mode runs in another thread while this one keeps serving the feed and the image.
    ProcessOutput updateNow(const QString& feedURL)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tempDir);
        environment.insert(QStringLiteral("TOLVAN_INSTALL_DIR"), installDir);
        auto run = std::async(std::launch::async, [&] {
            return runTolvan({QStringLiteral("--update-now"), feedURL}, {}, environment, waitMs);
        });
        (void)QTest::qWaitFor([&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                              2 * waitMs);
        return run.get();
    }

    ProcessOutput updateNowFrom(const QByteArray& feed, const QByteArray& image)
    {
        server.putFile(QStringLiteral("/feed.json"), feed, "application/json");
        if (!image.isNull())
            server.putFile(QStringLiteral("/images/Tolvan.tar.gz"), image);
        return updateNow(server.url(QStringLiteral("/feed.json")).toString());
    }

    static QByteArray newerFeed()
    {
        return TestImage::feed(QStringLiteral("1.4"), 4, QStringLiteral("images/Tolvan.tar.gz"));
    }

    QString installedVersion() const { return readFile(installDir + QStringLiteral("/share/tolvan/version.txt")); }

    // The output, the installed version, and that nothing is left beside the installed copy, in the temporary
    // directory or in the user's cache, where the image is kept until the install is over, whatever its outcome.
    void expectInstall(const ProcessOutput& result, int exitCode, const QString& lastLine, const QString& version)
    {
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(result.outLines(), (QStringList{QStringLiteral("установлено: build 3; в фиде: 1.4 (build 4)"),
                                                  QStringLiteral("скачано: ") + Paths::cacheHome() +
                                                      QStringLiteral("/Tolvan/Tolvan-headless-update.tar.gz"),
                                                  lastLine}));
        EXPECT_EQ(installedVersion(), version);
        EXPECT_EQ(QDir(optDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("Толван.app")});
        EXPECT_TRUE(QDir(tempDir).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        EXPECT_TRUE(QDir(Paths::cacheHome() + QStringLiteral("/Tolvan"))
                        .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    QString tempDir;
    QString optDir;
    QString installDir;
    UpdateServer server;
};

} // namespace

TEST_F(UpdateNowTest, InstallsTheNewerBuildAndStartsIt)
{
    const QByteArray image = TestImage::bundleImage(identifier, QStringLiteral("1.4"), 4);
    const QByteArray sha256 = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    expectInstall(
        updateNowFrom(TestImage::feed(QStringLiteral("1.4"), 4, QStringLiteral("images/Tolvan.tar.gz"), {}, sha256),
                      image),
        0, QStringLiteral("установлено, запускаю новую версию"), QStringLiteral("1.4"));
    const QString marker = TestImage::startMarker(TestEnvironment::home(), QStringLiteral("1.4"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(marker).endsWith(QLatin1Char('\n')); }, waitMs));
    EXPECT_EQ(readFile(marker).trimmed(), installDir + QStringLiteral("/bin/tolvan"));

    QDir(installDir).removeRecursively();
    const auto result = updateNowFrom(newerFeed(), image);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines().value(0), QStringLiteral("установлено: build 0; в фиде: 1.4 (build 4)"));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.4"));
}

TEST_F(UpdateNowTest, NothingToDoWhenTheFeedIsNotNewer)
{
    const auto result = updateNowFrom(TestImage::feed(QStringLiteral("1.3"), 3, QStringLiteral("images/Tolvan.tar.gz")),
                                      TestImage::bundleImage(identifier, QStringLiteral("1.3"), 3));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines(), (QStringList{QStringLiteral("установлено: build 3; в фиде: 1.3 (build 3)"),
                                              QStringLiteral("обновление не требуется")}));
    EXPECT_EQ(server.requestCount(QStringLiteral("/images/Tolvan.tar.gz")), 0);
}

TEST_F(UpdateNowTest, BadAddressesUnusableFeedsAndMissingImagesFailWithTheirLine)
{
    const auto expectLines = [&](const QString& address, const QStringList& lines) {
        const auto result = updateNow(address);
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.outLines(), lines) << address.toStdString();
    };
    for (const QString& address : {QStringLiteral("http://exa mple.org/feed.json"), QStringLiteral("feed.json")})
        expectLines(address, {QStringLiteral("некорректный URL фида")});
    EXPECT_EQ(server.totalRequests(), 0);
    QString closed;
    {
        LocalHttpServer gone;
        ASSERT_TRUE(gone.listen());
        closed = gone.url(QStringLiteral("/feed.json")).toString();
    }
    expectLines(closed, {QStringLiteral("фид недоступен: Connection refused")});
    const QString feed = server.url(QStringLiteral("/feed.json")).toString();
    for (const HttpResponse& answer : {HttpResponse::text(200, "<html>сервис недоступен</html>", "text/html"),
                                       HttpResponse::text(404, "not found")}) {
        server.put(QStringLiteral("/feed.json"), answer);
        expectLines(feed, {QStringLiteral("фид недоступен: неверный формат")});
    }
    server.putFile(QStringLiteral("/feed.json"), newerFeed(), "application/json");
    expectLines(feed, {QStringLiteral("установлено: build 3; в фиде: 1.4 (build 4)"),
                       QStringLiteral("загрузка не удалась: сервер ответил кодом 404")});
    EXPECT_EQ(installedVersion(), QStringLiteral("1.3"));
    EXPECT_TRUE(QDir(tempDir).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// The reasons themselves are pinned by UpdateInstallerTest.
TEST_F(UpdateNowTest, HostileOrTruncatedImagesAreNotInstalled)
{
    QList<ImageEntry> hostile = TestImage::bundle(QStringLiteral("Толван.app"), identifier, QStringLiteral("1.4"), 4);
    hostile.append(ImageEntry::file(QStringLiteral("../../escaped.txt"), "x"));
    expectInstall(updateNowFrom(newerFeed(), TestImage::build(hostile)), 1,
                  QStringLiteral("установка не удалась: в образе недопустимый файл «../../escaped.txt»"),
                  QStringLiteral("1.3"));
    EXPECT_FALSE(QFile::exists(tempDir + QStringLiteral("/../escaped.txt")));

    QList<ImageEntry> entries = TestImage::bundle(QStringLiteral("Толван.app"), identifier, QStringLiteral("1.4"), 4);
    entries.append(TestImage::largeFile(QStringLiteral("Толван.app/share/tolvan/model.bin")));
    const QByteArray image = TestImage::build(entries);
    const auto result = updateNowFrom(newerFeed(), image.left(image.size() / 2));
    ASSERT_EQ(result.outLines().size(), 3);
    EXPECT_TRUE(
        result.outLines().at(2).startsWith(QStringLiteral("установка не удалась: не удалось распаковать образ: ")))
        << result.out().toStdString();
    expectInstall(result, 1, result.outLines().at(2), QStringLiteral("1.3"));
}
