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

    void expectFailedInstall(const ProcessOutput& result, const QString& lastLine)
    {
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.outLines(), (QStringList{QStringLiteral("установлено: build 3; в фиде: 1.4 (build 4)"),
                                                  QStringLiteral("скачано: ") + downloadPath(), lastLine}));
        EXPECT_EQ(installedVersion(), QStringLiteral("1.3"));
        EXPECT_EQ(QDir(optDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("Толван.app")});
        expectNothingLeft();
    }

    // The image is kept in the user's own cache and removed after the install, whatever its outcome.
    static QString downloadPath()
    {
        return Paths::cacheHome() + QStringLiteral("/Tolvan/Tolvan-headless-update.tar.gz");
    }
    void expectNothingLeft() const
    {
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
    const auto result = updateNowFrom(newerFeed(), TestImage::bundleImage(identifier, QStringLiteral("1.4"), 4));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines(), (QStringList{QStringLiteral("установлено: build 3; в фиде: 1.4 (build 4)"),
                                              QStringLiteral("скачано: ") + downloadPath(),
                                              QStringLiteral("установлено, запускаю новую версию")}));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.4"));
    EXPECT_EQ(QDir(optDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Толван.app")});
    expectNothingLeft();
    const QString marker = TestImage::startMarker(TestEnvironment::home(), QStringLiteral("1.4"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(marker).endsWith(QLatin1Char('\n')); }, waitMs));
    EXPECT_EQ(readFile(marker).trimmed(), installDir + QStringLiteral("/bin/tolvan"));
}

TEST_F(UpdateNowTest, InstallsWhenNothingIsInstalledAndChecksTheChecksum)
{
    QDir(installDir).removeRecursively();
    const QByteArray image = TestImage::bundleImage(identifier, QStringLiteral("1.4"), 4);
    const QByteArray sha256 = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    const auto result = updateNowFrom(
        TestImage::feed(QStringLiteral("1.4"), 4, QStringLiteral("images/Tolvan.tar.gz"), {}, sha256), image);
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

TEST_F(UpdateNowTest, BadAddressesAndUnusableFeedsFailWithOneLine)
{
    const auto expectOneLine = [&](const QString& address, const QString& line) {
        const auto result = updateNow(address);
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.outLines(), QStringList{line}) << address.toStdString();
    };
    for (const QString& address : {QStringLiteral("http://exa mple.org/feed.json"), QStringLiteral("feed.json")})
        expectOneLine(address, QStringLiteral("некорректный URL фида"));
    EXPECT_EQ(server.totalRequests(), 0);
    QString closed;
    {
        LocalHttpServer gone;
        ASSERT_TRUE(gone.listen());
        closed = gone.url(QStringLiteral("/feed.json")).toString();
    }
    expectOneLine(closed, QStringLiteral("фид недоступен: Connection refused"));
    for (const HttpResponse& answer :
         {HttpResponse::text(200, "<html>сервис недоступен</html>", "text/html"), HttpResponse::text(404, "not found"),
          HttpResponse::json("[1, 2]"), HttpResponse::json(R"({"version": "1.4", "build": "4", "url": "x"})")}) {
        server.put(QStringLiteral("/feed.json"), answer);
        expectOneLine(server.url(QStringLiteral("/feed.json")).toString(),
                      QStringLiteral("фид недоступен: неверный формат"));
    }
}

TEST_F(UpdateNowTest, AMissingImageFailsTheDownload)
{
    const auto result = updateNowFrom(newerFeed(), QByteArray());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.outLines(), (QStringList{QStringLiteral("установлено: build 3; в фиде: 1.4 (build 4)"),
                                              QStringLiteral("загрузка не удалась: сервер ответил кодом 404")}));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.3"));
    EXPECT_TRUE(QDir(tempDir).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(UpdateNowTest, ImagesThatAreNotThisApplicationAreNotInstalled)
{
    QList<ImageEntry> hostile = TestImage::bundle(QStringLiteral("Толван.app"), identifier, QStringLiteral("1.4"), 4);
    hostile.append(ImageEntry::file(QStringLiteral("../../escaped.txt"), "x"));
    const QList<std::pair<QByteArray, QString>> cases = {
        {TestImage::bundleImage(QStringLiteral("org.example.Other"), QStringLiteral("1.4"), 4),
         QStringLiteral("в образе другое приложение")},
        {TestImage::build({ImageEntry::file(QStringLiteral("readme.txt"), "no application here")}),
         QStringLiteral("в образе не нашлось приложения")},
        {TestImage::build(hostile), QStringLiteral("в образе недопустимый файл «../../escaped.txt»")},
    };
    for (const auto& [image, reason] : cases) {
        expectFailedInstall(updateNowFrom(newerFeed(), image), QStringLiteral("установка не удалась: ") + reason);
        EXPECT_FALSE(QFile::exists(tempDir + QStringLiteral("/../escaped.txt")));
    }
}

TEST_F(UpdateNowTest, ATruncatedImageIsNotInstalled)
{
    QList<ImageEntry> entries = TestImage::bundle(QStringLiteral("Толван.app"), identifier, QStringLiteral("1.4"), 4);
    entries.append(TestImage::largeFile(QStringLiteral("Толван.app/share/tolvan/model.bin")));
    const QByteArray image = TestImage::build(entries);
    const auto result = updateNowFrom(newerFeed(), image.left(image.size() / 2));
    ASSERT_EQ(result.outLines().size(), 3);
    EXPECT_TRUE(
        result.outLines().at(2).startsWith(QStringLiteral("установка не удалась: не удалось распаковать образ: ")))
        << result.out().toStdString();
    expectFailedInstall(result, result.outLines().at(2));
}

TEST_F(UpdateNowTest, WithoutAFeedAddressTheApplicationStarts)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const auto result = runTolvan({QStringLiteral("--update-now")}, {}, environment);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardOutput.isEmpty());
    EXPECT_TRUE(result.err().contains(QStringLiteral("Толвану нужен графический сеанс")));
}
