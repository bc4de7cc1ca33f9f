#include "update/Updater.h"

#include "BuildInfo.h"
#include "TestImage.h"
#include "TestSigningKey.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"
#include "update/BundleInfo.h"
#include "update/UpdateFeed.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace
{

const QString identifier = QString::fromUtf8(BuildInfo::bundleIdentifier);
const QString currentVersion = QString::fromUtf8(BuildInfo::shortVersion);
const QString update = QStringLiteral("Обновить");
const QString later = QStringLiteral("Позже");
const QString skip = QStringLiteral("Пропустить эту версию");
constexpr int waitMs = 30000;
const QString refused =
    QStringLiteral("сервер 127.0.0.1 не принимает соединения — проверьте подключение к интернету или повторите позже.");

// An address nobody listens on any more.
QString closedAddress()
{
    LocalHttpServer gone;
    return gone.listen() ? gone.url(QStringLiteral("/feed.json")).toString() : QString();
}

QStringList entriesOf(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// The title, the explanation and the buttons of an alert.
QStringList shown(const Alert& alert)
{
    return QStringList{alert.message, alert.informativeText} + alert.buttons;
}

QStringList info(const QString& text)
{
    return {QStringLiteral("Обновления"), text, QStringLiteral("Понятно")};
}

// The current build installed under its own TOLVAN_INSTALL_DIR and TMPDIR, a throwaway key that the updater
// trusts, and a loopback server that hands out the feed and the image, and each feed's signature made with that
// key unless a test serves another (any other path answers 404).
class UpdaterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        tempDir = TestEnvironment::makeDirectory(QStringLiteral("tmp"));
        qputenv("TMPDIR", QFile::encodeName(tempDir));
        optDir = TestEnvironment::makeDirectory(QStringLiteral("opt"));
        installDir = optDir + QStringLiteral("/Толван.app");
        qputenv("TOLVAN_INSTALL_DIR", QFile::encodeName(installDir));
        qputenv("TOLVAN_TEST_UPDATE_KEY", key.publicBase64());
        TestImage::installBundle(installDir, identifier, currentVersion, currentBuild);
        SettingsStore::shared().setString(SettingsKey::updateFeedURL, feedURL());
        Updater::setDetachedStart([this](const QString& program, const QStringList& arguments) {
            starts.push_back(QStringList{program} + arguments);
            return true;
        });
        QObject::connect(&updater, &Updater::stateChanged, [this] { states.push_back(updater.state()); });
    }
    void TearDown() override { Updater::setDetachedStart({}); }

    // A feed announcing `image`, with the image's signature.
    void serveFeed(qint64 build, const QByteArray& image, const QString& notes = QStringLiteral("Исправлены ошибки"),
                   const QByteArray& sha256 = {})
    {
        routes["/feed.json"] =
            HttpResponse::json(TestImage::feed(QStringLiteral("9.9.9"), build, QStringLiteral("Tolvan-9.9.9.tar.gz"),
                                               image.size(), notes, sha256, key.sign(image)));
    }
    void serveImage(const QByteArray& image, int delayMs = 0)
    {
        routes[imagePath] = HttpResponse::text(200, image, "application/gzip");
        routes[imagePath].chunkSize = 4096;
        routes[imagePath].delayMs = delayMs;
    }
    QByteArray newerImage() const { return TestImage::bundleImage(identifier, QStringLiteral("9.9.9"), newerBuild); }
    QString feedURL() const { return server.url(QStringLiteral("/feed.json")).toString(); }
    int requestCount(const QByteArray& path) const
    {
        return static_cast<int>(std::ranges::count(server.requests(), path, &HttpRequest::path));
    }
    QString installedVersion() const
    {
        return QString::fromUtf8(TestFiles::read(installDir + QStringLiteral("/share/tolvan/version.txt")));
    }
    // Where the image is kept while it is installed: the user's own cache.
    static QString cacheDir() { return Paths::cacheHome() + QStringLiteral("/Tolvan"); }
    // The installed copy and nothing beside it, in the temporary directory or in the cache, whatever the outcome.
    void expectNothingLeft() const
    {
        EXPECT_EQ(entriesOf(optDir), QStringList{QStringLiteral("Толван.app")});
        EXPECT_EQ(entriesOf(tempDir), QStringList{});
        EXPECT_EQ(entriesOf(cacheDir()), QStringList{});
    }
    bool waitForAlerts(size_t count)
    {
        return QTest::qWaitFor([&] { return presenter.alerts.size() >= count; }, waitMs);
    }
    static bool logShows(const QString& line)
    {
        return QTest::qWaitFor(
            [&] { return QString::fromUtf8(TestFiles::read(Log::directory() + "/app.log")).contains(line); }, waitMs);
    }

    static constexpr const char* imagePath = "/Tolvan-9.9.9.tar.gz";
    const qint64 currentBuild = BundleInfo::currentBuild();
    const qint64 newerBuild = currentBuild + 1;
    QString tempDir;
    QString optDir;
    QString installDir;
    TestSigningKey key;
    QMap<QByteArray, HttpResponse> routes;
    LocalHttpServer server{[this](const HttpRequest& request) {
        const QByteArray signedPath = request.path.chopped(qMin<qsizetype>(4, request.path.size()));
        if (!routes.contains(request.path) && request.path.endsWith(".sig") && routes.contains(signedPath))
            return HttpResponse::text(200, key.sign(routes[signedPath].body));
        return routes.value(request.path, HttpResponse::text(404, "not found"));
    }};
    ScriptedAlertPresenter presenter;
    std::vector<QStringList> starts;
    std::vector<Updater::State> states;
    Updater updater;
};

} // namespace

// A build without a key, and a placeholder address, turn updates off.
TEST_F(UpdaterTest, ChecksAreShownWhenAskedAndANewerBuildIsOfferedThenPutOffOrSkipped)
{
    qputenv("TOLVAN_TEST_UPDATE_KEY", "");
    updater.check(true);
    updater.check(false);
    qputenv("TOLVAN_TEST_UPDATE_KEY", key.publicBase64());
    SettingsStore::shared().setString(SettingsKey::updateFeedURL,
                                      QStringLiteral("https://updates.example.invalid/feed.json"));
    updater.check(true);
    updater.check(false);
    ASSERT_EQ(presenter.alerts.size(), 2u);
    EXPECT_EQ(shown(presenter.alerts[0]), info("Обновления выключены: в эту сборку не встроен ключ проверки подписи. "
                                               "Подробности — в README."));
    EXPECT_EQ(shown(presenter.alerts[1]),
              info("Сервер обновлений ещё не настроен: укажите адрес в ключе TolvanUpdateFeed "
                   "(packaging/Info.plist) и пересоберите приложение. Подробности — в README."));
    EXPECT_TRUE(states.empty());
    EXPECT_TRUE(server.requests().isEmpty());
    presenter.alerts.clear();
    serveFeed(currentBuild, {});
    // A feed of exactly the size limit is read; one byte more is not.
    QByteArray largest = routes["/feed.json"].body;
    largest.append(UpdateFeed::maximumSize - largest.size(), ' ');
    const QString latest = QStringLiteral("У вас последняя версия — %1.").arg(currentVersion);
    // A feed changed after it was signed, and a signed one of an older build.
    routes["/changed.json"] = HttpResponse::json(TestImage::feed("9.9.9", newerBuild, "/elsewhere.tar.gz", 4096));
    routes["/changed.json.sig"] =
        HttpResponse::text(200, key.sign(TestImage::feed("9.9.9", newerBuild, imagePath, 4096)));
    const QString downgrade =
        QStringLiteral("сборка %1 в фиде старше запущенной сборки %2 — возврат к старой версии не выполняется")
            .arg(currentBuild - 1)
            .arg(currentBuild);
    const QString changed = QStringLiteral("подпись фида не сходится — фид изменён или подписан чужим ключом");
    for (const auto& [address, body, alert, logLine] :
         std::initializer_list<std::tuple<QString, QByteArray, QString, QString>>{
             {server.url(QStringLiteral("/changed.json")).toString(),
              {},
              "Обновление отклонено: " + changed + ".",
              "Обновления: фид отклонён — " + changed},
             {feedURL(), TestImage::feed("0.0.1", currentBuild - 1, imagePath, 4096),
              "Обновление отклонено: " + downgrade + ".", "Обновления: фид отклонён — " + downgrade},
             {feedURL(), largest, latest, {}},
             {feedURL(), largest + ' ', QStringLiteral("Не удалось проверить обновления."), {}},
             {closedAddress(),
              {},
              QStringLiteral("Не удалось проверить обновления: %1").arg(refused),
              QStringLiteral("Обновления: фид недоступен (%1)").arg(refused)}}) {
        SettingsStore::shared().setString(SettingsKey::updateFeedURL, address);
        routes["/feed.json"] = HttpResponse::json(body);
        states.clear();
        updater.check(false);
        ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() == 2; }, waitMs));
        EXPECT_EQ(states, (std::vector{Updater::State::checking(), Updater::State::idle()}));
        EXPECT_TRUE(logLine.isEmpty() || logShows(logLine)) << logLine.toStdString();
        EXPECT_TRUE(presenter.alerts.empty());
        updater.check(true);
        ASSERT_TRUE(waitForAlerts(1));
        EXPECT_EQ(shown(presenter.alerts[0]), info(alert));
        presenter.alerts.clear();
    }
    EXPECT_EQ(requestCount("/feed.json"), 6);

    // "Later" remembers nothing, a skipped build is no longer offered by itself but still from the menu.
    SettingsStore::shared().setString(SettingsKey::updateFeedURL, feedURL());
    const QString relaunchNote =
        QStringLiteral("\n\nТекущая версия: %1. Приложение обновится и перезапустится автоматически.")
            .arg(currentVersion);
    serveFeed(newerBuild, {});
    presenter.answers = {later, skip, later};
    updater.check(false);
    ASSERT_TRUE(waitForAlerts(1));
    EXPECT_EQ(shown(presenter.alerts[0]), (QStringList{"Доступно обновление: Толван 9.9.9",
                                                       "Исправлены ошибки" + relaunchNote, update, later, skip}));

    updater.check(false);
    ASSERT_TRUE(waitForAlerts(2));
    EXPECT_EQ(SettingsStore::shared().integerForKey(SettingsKey::skippedUpdateBuild), newerBuild);
    updater.check(false);
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: сборка %1 пропущена пользователем").arg(newerBuild)));
    EXPECT_EQ(presenter.alerts.size(), 2u);

    serveFeed(newerBuild, {}, QString());
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(3));
    EXPECT_EQ(presenter.alerts[2].informativeText, QStringLiteral("Новая версия готова к установке.") + relaunchNote);
    EXPECT_EQ(requestCount(imagePath), 0);
    EXPECT_EQ(updater.state(), Updater::State::idle());
}

// Names the update once used in the shared temporary directory, taken by somebody else, neither stop nor see it.
TEST_F(UpdaterTest, AnAcceptedUpdateIsDownloadedInstalledAndRelaunched)
{
    const QString mountName = QStringLiteral("tolvan-update-mount-%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir().mkpath(tempDir + QStringLiteral("/Tolvan-update.tar.gz/occupied")));
    ASSERT_TRUE(QDir().mkpath(tempDir + QLatin1Char('/') + mountName + QStringLiteral("/planted")));
    const QByteArray image = newerImage();
    serveFeed(newerBuild, image);
    serveImage(image, 500);
    presenter.answers = {update};
    updater.check(true);
    // A second check while the image is on its way is refused.
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater.state().kind == Updater::State::Kind::downloading; }, waitMs));
    updater.check(true);
    updater.check(false);
    ASSERT_EQ(presenter.alerts.size(), 2u);
    EXPECT_EQ(shown(presenter.alerts[1]), info(QStringLiteral("Обновление уже выполняется.")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !starts.empty(); }, waitMs));
    EXPECT_EQ(requestCount("/feed.json"), 1);

    EXPECT_EQ(starts[0],
              (QStringList{QStringLiteral("/bin/bash"), QStringLiteral("-c"), QStringLiteral("sleep 1; exec \"$0\""),
                           installDir + QStringLiteral("/bin/tolvan")}));
    EXPECT_EQ(installedVersion(), QStringLiteral("9.9.9"));
    EXPECT_EQ(entriesOf(optDir), QStringList{QStringLiteral("Толван.app")});
    EXPECT_EQ(presenter.alerts.size(), 2u);
    EXPECT_EQ(entriesOf(tempDir), (QStringList{QStringLiteral("Tolvan-update.tar.gz"), mountName}));
    EXPECT_TRUE(QFileInfo::exists(tempDir + QLatin1Char('/') + mountName + QStringLiteral("/planted")));
    // rwx for the owner, nothing for group and others (the "user" bits repeat the owner's).
    EXPECT_EQ(QFile::permissions(cacheDir()).toInt() & 0x7077, 0x7000);
    EXPECT_EQ(entriesOf(cacheDir()), QStringList{});

    // checking, idle, downloading from 0 to 1 without going back, installing.
    ASSERT_GE(states.size(), 5u);
    EXPECT_EQ(std::vector(states.begin(), states.begin() + 3),
              (std::vector{Updater::State::checking(), Updater::State::idle(), Updater::State::downloading(0)}));
    EXPECT_EQ(states.back(), Updater::State::installing());
    const std::vector download(states.begin() + 2, states.end() - 1);
    EXPECT_TRUE(
        std::ranges::all_of(download, [](auto state) { return state.kind == Updater::State::Kind::downloading; }));
    EXPECT_TRUE(std::ranges::is_sorted(download, {}, &Updater::State::fraction));
    EXPECT_DOUBLE_EQ(download.back().fraction, 1.0);
}

// The unpacker's and the file system's own words follow the reasons. An image whose first byte was changed
// would not unpack either: its alert names the signature, which is checked first.
TEST_F(UpdaterTest, AFailedUpdateEndsIdleWithAnAlertAndKeepsTheInstalledCopy)
{
    const QString installFailed = QStringLiteral("Не удалось установить обновление: ");
    const QString blocked = cacheDir() + QStringLiteral("/Tolvan-update.tar.gz/occupied");
    const QByteArray image = newerImage();
    QList<ImageEntry> large =
        TestImage::bundle(QStringLiteral("Толван.app"), identifier, QStringLiteral("9.9.9"), newerBuild);
    // Half a megabyte that does not compress, so that a cut image loses part of it.
    QByteArray noise(512 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    large.append(ImageEntry::file(QStringLiteral("Толван.app/share/tolvan/model.bin"), noise));
    const QByteArray largeImage = TestImage::build(large);
    QByteArray changed = image;
    changed[0] = static_cast<char>(changed[0] ^ 1);
    // What is served, what the feed's signature is of, the checksum in the feed.
    for (const auto& [served, signedImage, sha256, saved, alert] :
         std::initializer_list<std::tuple<QByteArray, QByteArray, QByteArray, bool, QString>>{
             {{},
              {},
              {},
              true,
              QStringLiteral("Не удалось загрузить обновление: сервер 127.0.0.1 не нашёл файл (HTTP 404)")},
             {image, image, {}, false, QStringLiteral("Не удалось сохранить загруженное обновление: ")},
             {image, image, QByteArray(64, 'a'), true,
              installFailed + QStringLiteral("контрольная сумма образа не совпадает с указанной в фиде\nСкачайте "
                                             "новую версию с сайта вручную.")},
             {changed,
              image,
              {},
              true,
              installFailed + QStringLiteral("подпись образа не сходится — образ изменён или подписан чужим ключом\n"
                                             "Скачайте новую версию с сайта вручную.")},
             {largeImage.left(largeImage.size() / 2),
              largeImage.left(largeImage.size() / 2),
              {},
              true,
              installFailed + QStringLiteral("не удалось распаковать образ: ")}}) {
        serveFeed(newerBuild, signedImage, {}, sha256);
        if (!served.isNull())
            serveImage(served);
        if (!saved) {
            ASSERT_TRUE(QDir().mkpath(blocked));
        }
        presenter.alerts.clear();
        presenter.answers = {update};
        updater.check(true);
        ASSERT_TRUE(waitForAlerts(2));
        EXPECT_TRUE(presenter.alerts[1].informativeText.startsWith(alert))
            << presenter.alerts[1].informativeText.toStdString();
        EXPECT_EQ(updater.state(), Updater::State::idle());
        EXPECT_EQ(installedVersion(), currentVersion);
        QDir(cacheDir() + QStringLiteral("/Tolvan-update.tar.gz")).removeRecursively();
        expectNothingLeft();
        EXPECT_TRUE(starts.empty());
    }
}

TEST_F(UpdaterTest, ACopyInstalledByThePackageManagerLeavesItsUpdatesToIt)
{
    const QString resources = TestEnvironment::makeDirectory(QStringLiteral("resources"));
    TestFiles::write(resources + u'/' + Resources::packageMark, "Debian package tolvan\n");
    qputenv("TOLVAN_RESOURCES_DIR", QFile::encodeName(resources));
    serveFeed(newerBuild, {});
    updater.startAutoChecks(0, 50);
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(1));
    EXPECT_EQ(shown(presenter.alerts[0]),
              info(QStringLiteral("Толван установлен пакетом: обновления приходят вместе с ним через менеджер "
                                  "пакетов (например, «sudo apt upgrade»).")));
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: автопроверка выключена — Толван установлен пакетом")));
    // A request answered now comes after any that the automatic check would have made at once.
    QNetworkAccessManager network;
    QNetworkReply* probe = network.get(QNetworkRequest(server.url(QStringLiteral("/probe"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe->isFinished(); }, waitMs));
    EXPECT_EQ(requestCount("/probe"), 1);
    EXPECT_EQ(requestCount("/feed.json"), 0);
}

// The log names the key by the first half of its SHA-256.
TEST_F(UpdaterTest, AutomaticChecksHonourTheSettingRepeatAndOfferANewerBuild)
{
    SettingsStore::shared().setBool(SettingsKey::autoUpdateCheck, false);
    serveFeed(currentBuild, {});
    updater.startAutoChecks(10, 50);
    const QByteArray digest = QCryptographicHash::hash(key.publicKey(), QCryptographicHash::Sha256).toHex();
    EXPECT_TRUE(logShows(QStringLiteral("Обновления устанавливаются, только если подписаны ключом Ed25519 с "
                                        "отпечатком %1 %2 %3 %4 %5 %6 %7 %8. Ключ тестовый, из TOLVAN_TEST_UPDATE_KEY.")
                             .arg(digest.mid(0, 4), digest.mid(4, 4), digest.mid(8, 4), digest.mid(12, 4),
                                  digest.mid(16, 4), digest.mid(20, 4), digest.mid(24, 4), digest.mid(28, 4))));
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return TestEnvironment::appLog().count(QStringLiteral("автопроверка пропущена — выключена")) >= 3; },
        waitMs));
    EXPECT_TRUE(server.requests().isEmpty());

    SettingsStore::shared().setBool(SettingsKey::autoUpdateCheck, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return requestCount("/feed.json") >= 3; }, waitMs));
    EXPECT_TRUE(presenter.alerts.empty());
    serveFeed(newerBuild, {});
    EXPECT_TRUE(waitForAlerts(1));
}

// A feed that is not newer leaves the installed copy alone, everything else but a newer build signed with the
// trusted key fails with its line; so does any update in a build without a key. Nothing is left of a refused image.
TEST_F(UpdaterTest, UpdateNowEndsWithALineForEachOutcomeAndStartsOnlyASignedNewerBuild)
{
    const QByteArray image = newerImage();
    serveFeed(newerBuild, image, {}, QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex().toUpper());
    serveImage(image);
    const QByteArray signature = key.sign(image);
    const TestSigningKey otherKey;
    const QByteArray feed = TestImage::feed("9.9.9", newerBuild, imagePath, image.size(), {}, {}, signature);
    // Feeds and images that are not what the key signed, each at its own address with its signature beside it.
    const auto serve = [&](const char* path, const QByteArray& body, const QByteArray& signedFeed = {}) {
        routes[path] = HttpResponse::json(body);
        if (!signedFeed.isNull())
            routes[QByteArray(path) + ".sig"] = HttpResponse::text(200, signedFeed);
    };
    serve("/current.json", TestImage::feed(currentVersion, currentBuild, imagePath, image.size(), {}, {}, signature));
    serve("/no-image.json", TestImage::feed("9.9.9", newerBuild, "missing.tar.gz", image.size(), {}, {}, signature));
    serve("/changed-version.json", TestImage::feed("9.9.10", newerBuild, imagePath, image.size(), {}, {}, signature),
          key.sign(feed));
    serve("/changed-address.json",
          TestImage::feed("9.9.9", newerBuild, "/elsewhere.tar.gz", image.size(), {}, {}, signature), key.sign(feed));
    serve("/other-key.json", feed, otherKey.sign(feed));
    serve("/unsigned.json", feed);
    routes["/unsigned.json.sig"] = HttpResponse::text(404, "not found");
    serve("/damaged-signature.json", feed, "c2lnbmF0dXJl\n");
    serve("/image-other-key.json",
          TestImage::feed("9.9.9", newerBuild, imagePath, image.size(), {}, {}, otherKey.sign(image)));
    serve("/image-changed.json",
          TestImage::feed("9.9.9", newerBuild, "/changed.tar.gz", image.size(), {}, {}, signature));
    QByteArray changedImage = image;
    changedImage[changedImage.size() / 2] = static_cast<char>(changedImage[changedImage.size() / 2] ^ 1);
    routes["/changed.tar.gz"] = HttpResponse::text(200, changedImage, "application/gzip");
    serve("/image-unsigned.json", TestImage::feed("9.9.9", newerBuild, imagePath, image.size()));
    // An image longer or shorter than the signed feed states.
    serve("/image-larger.json", TestImage::feed("9.9.9", newerBuild, imagePath, image.size() - 1, {}, {}, signature));
    serve("/image-shorter.json", TestImage::feed("9.9.9", newerBuild, imagePath, image.size() + 1, {}, {}, signature));
    serve("/older.json", TestImage::feed("0.0.1", currentBuild - 1, imagePath, image.size(), {}, {}, signature));

    const QString badAddress = QStringLiteral("некорректный URL фида");
    const QString builds =
        QStringLiteral("установлено: build %1; в фиде: 9.9.9 (build %2)").arg(currentBuild).arg(newerBuild);
    const QString downloaded = "скачано: " + cacheDir() + "/Tolvan-headless-update.tar.gz";
    const QString feedChanged =
        QStringLiteral("фид отклонён: подпись фида не сходится — фид изменён или подписан чужим ключом");
    const QString imageChanged =
        QStringLiteral("установка не удалась: подпись образа не сходится — образ изменён или подписан чужим ключом");
    const QString installed = QStringLiteral("установлено, запускаю новую версию");
    for (const auto& [address, exitCode, lines] : std::initializer_list<std::tuple<QString, int, QStringList>>{
             {server.url(QStringLiteral("/current.json")).toString(),
              0,
              {QStringLiteral("установлено: build %1; в фиде: %2 (build %1)").arg(currentBuild).arg(currentVersion),
               QStringLiteral("обновление не требуется")}},
             {QStringLiteral("http://exa mple.org/feed.json"), 1, {badAddress}},
             {QStringLiteral("feed.json"), 1, {badAddress}},
             {closedAddress(), 1, {QStringLiteral("фид недоступен: ") + refused}},
             {server.url(QStringLiteral("/missing.json")).toString(),
              1,
              {QStringLiteral("фид недоступен: неверный формат")}},
             {server.url(QStringLiteral("/no-image.json")).toString(),
              1,
              {builds,
               QStringLiteral("загрузка не удалась: сервер 127.0.0.1 не нашёл файл (HTTP 404) — повторите позже или "
                              "обновите Толван.")}},
             {server.url(QStringLiteral("/changed-version.json")).toString(), 1, {feedChanged}},
             {server.url(QStringLiteral("/changed-address.json")).toString(), 1, {feedChanged}},
             {server.url(QStringLiteral("/other-key.json")).toString(), 1, {feedChanged}},
             {server.url(QStringLiteral("/unsigned.json")).toString(),
              1,
              {QStringLiteral("фид отклонён: у фида нет подписи (не найден %1)")
                   .arg(server.url(QStringLiteral("/unsigned.json.sig")).toString())}},
             {server.url(QStringLiteral("/damaged-signature.json")).toString(),
              1,
              {QStringLiteral("фид отклонён: подпись фида повреждена (нужна подпись Ed25519 в base64)")}},
             {server.url(QStringLiteral("/image-other-key.json")).toString(), 1, {builds, downloaded, imageChanged}},
             {server.url(QStringLiteral("/image-changed.json")).toString(), 1, {builds, downloaded, imageChanged}},
             {server.url(QStringLiteral("/image-unsigned.json")).toString(),
              1,
              {builds, downloaded, QStringLiteral("установка не удалась: в фиде нет подписи образа")}},
             {server.url(QStringLiteral("/image-larger.json")).toString(),
              1,
              {builds, QStringLiteral("загрузка не удалась: сервер прислал больше %1 байт, указанных в фиде")
                           .arg(image.size() - 1)}},
             {server.url(QStringLiteral("/image-shorter.json")).toString(),
              1,
              {builds, QStringLiteral("загрузка не удалась: образ короче %1 байт, указанных в фиде: пришло %2")
                           .arg(image.size() + 1)
                           .arg(image.size())}},
             {server.url(QStringLiteral("/older.json")).toString(),
              1,
              {QStringLiteral("установлено: build %1; в фиде: 0.0.1 (build %2)")
                   .arg(currentBuild)
                   .arg(currentBuild - 1),
               QStringLiteral("фид отклонён: сборка %1 в фиде старше запущенной сборки %2 — возврат к старой версии не "
                              "выполняется")
                   .arg(currentBuild - 1)
                   .arg(currentBuild)}},
             {feedURL(), 0, {builds, downloaded, installed}}}) {
        // --update-now runs in another thread while this one keeps serving the feed and the image.
        auto run = std::async(std::launch::async, [&] {
            return runTolvan({QStringLiteral("--update-now"), address}, {}, QProcessEnvironment::systemEnvironment(),
                             waitMs);
        });
        (void)QTest::qWaitFor([&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                              2 * waitMs);
        const ProcessOutput result = run.get();
        EXPECT_EQ(result.exitCode, exitCode) << address.toStdString();
        EXPECT_EQ(result.outLines(), lines) << address.toStdString();
        EXPECT_EQ(installedVersion(), lines.last() == installed ? QStringLiteral("9.9.9") : currentVersion);
        expectNothingLeft();
    }
    EXPECT_EQ(requestCount(imagePath), 5);
    // A build without a key asks no server at all.
    const qsizetype asked = server.requests().size();
    QProcessEnvironment keyless = QProcessEnvironment::systemEnvironment();
    keyless.insert(QStringLiteral("TOLVAN_TEST_UPDATE_KEY"), QString());
    const ProcessOutput refused = runTolvan({QStringLiteral("--update-now"), feedURL()}, {}, keyless, waitMs);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.outLines(),
              QStringList{QStringLiteral("обновления выключены: в эту сборку не встроен ключ проверки подписи")});
    EXPECT_EQ(server.requests().size(), asked);
    // The bundle's bin/tolvan writes its own path there when it starts.
    const QString marker = TestEnvironment::home() + QStringLiteral("/started-9.9.9");
    ASSERT_TRUE(QTest::qWaitFor([&] { return TestFiles::read(marker).endsWith('\n'); }, waitMs));
    EXPECT_EQ(QString::fromUtf8(TestFiles::read(marker).trimmed()), installDir + QStringLiteral("/bin/tolvan"));
}
