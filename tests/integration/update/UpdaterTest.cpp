#include "update/Updater.h"

#include "BuildInfo.h"
#include "TestImage.h"
#include "UpdateServer.h"
#include "core/AlertPresenter.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "support/TestEnvironment.h"
#include "update/BundleInfo.h"
#include "update/UpdateInstaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <tuple>

namespace
{

const QString identifier = QString::fromUtf8(BuildInfo::bundleIdentifier);
const QString currentVersion = QString::fromUtf8(BuildInfo::shortVersion);
const QStringList offerButtons{QStringLiteral("Обновить"), QStringLiteral("Позже"),
                               QStringLiteral("Пропустить эту версию")};
const QString relaunchNote =
    QStringLiteral("\n\nТекущая версия: %1. Приложение обновится и перезапустится автоматически.").arg(currentVersion);
const QString manualNote = QStringLiteral("\nСкачайте новую версию с сайта вручную.");
constexpr int waitMs = 20000;

// Answers alerts by script (unscripted offers are put off) and keeps every alert it was shown.
class ScriptedAlertPresenter : public AlertPresenter
{
public:
    int present(const Alert& alert) override
    {
        alerts.push_back(alert);
        if (whilePresenting)
            whilePresenting();
        if (alert.buttons != offerButtons)
            return 0;
        if (offerAnswers.empty())
            return 1;
        const int answer = offerAnswers.front();
        offerAnswers.pop_front();
        return answer;
    }

    std::vector<Alert> alerts;
    std::deque<int> offerAnswers;
    // Runs while the alert is up, as the user takes their time.
    std::function<void()> whilePresenting;
};

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool logShows(const QString& line)
{
    return QTest::qWaitFor([&] { return readFile(Log::directory() + QStringLiteral("/app.log")).contains(line); },
                           waitMs);
}

class UpdaterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        tempDir = TestEnvironment::makeDirectory(QStringLiteral("tmp"));
        qputenv("TMPDIR", QFile::encodeName(tempDir));
        optDir = TestEnvironment::makeDirectory(QStringLiteral("opt"));
        installDir = optDir + QStringLiteral("/Толван.app");
        qputenv("TOLVAN_INSTALL_DIR", QFile::encodeName(installDir));
        TestImage::installBundle(installDir, identifier, currentVersion, BundleInfo::currentBuild());
        setFeed(server.url(QStringLiteral("/feed.json")).toString());
        AlertPresenter::setShared(&presenter);
        Updater::setDetachedStart([this](const QString& program, const QStringList& arguments) {
            starts.push_back(QStringList{program} + arguments);
            return true;
        });
        updater.onState = [this] { states.push_back(updater.state()); };
    }

    void TearDown() override
    {
        AlertPresenter::setShared(nullptr);
        Updater::setDetachedStart({});
    }

    static void setFeed(const QString& url) { SettingsStore::shared().setString(SettingsKey::updateFeedURL, url); }

    void serveCurrentBuild()
    {
        server.putFile(QStringLiteral("/feed.json"),
                       TestImage::feed(currentVersion, BundleInfo::currentBuild(), QStringLiteral("x.tar.gz")),
                       "application/json");
    }

    void serveNewerBuild(const QString& notes = QStringLiteral("Исправлены ошибки"), const QByteArray& sha256 = {})
    {
        server.putFile(
            QStringLiteral("/feed.json"),
            TestImage::feed(QStringLiteral("9.9.9"), newerBuild, QStringLiteral("Tolvan-9.9.9.tar.gz"), notes, sha256),
            "application/json");
    }

    void serveImage(const QByteArray& image, int chunkSize = 0, int delayMs = 0)
    {
        HttpResponse response = HttpResponse::text(200, image, "application/gzip");
        response.chunkSize = chunkSize;
        response.delayMs = delayMs;
        server.put(QStringLiteral("/Tolvan-9.9.9.tar.gz"), response);
    }

    QByteArray newerImage(const QString& bundleIdentifier = identifier) const
    {
        return TestImage::bundleImage(bundleIdentifier, QStringLiteral("9.9.9"), newerBuild);
    }

    bool waitForAlerts(size_t count)
    {
        return QTest::qWaitFor([&] { return presenter.alerts.size() >= count; }, waitMs);
    }

    QString installedVersion() const { return readFile(installDir + QStringLiteral("/share/tolvan/version.txt")); }
    QStringList temporaryEntries() const
    {
        return QDir(tempDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    // Where the image is kept while it is installed: the user's own cache.
    static QString cacheDir() { return Paths::cacheHome() + QStringLiteral("/Tolvan"); }
    static QStringList cacheEntries()
    {
        return QDir(cacheDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QStringList besideInstallation() const { return QDir(optDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

    void expectInfo(size_t index, const QString& text) const
    {
        ASSERT_GT(presenter.alerts.size(), index);
        EXPECT_EQ(presenter.alerts[index].message, QStringLiteral("Обновления"));
        EXPECT_EQ(presenter.alerts[index].informativeText, text);
        EXPECT_EQ(presenter.alerts[index].buttons, QStringList{QStringLiteral("Понятно")});
    }

    // Accepts the offer; the update fails with the alert, leaves the installed copy as it was and no image.
    void expectFailedUpdate(const QString& alert)
    {
        presenter.offerAnswers = {0};
        updater.check(true);
        ASSERT_TRUE(waitForAlerts(2));
        expectInfo(1, alert);
        EXPECT_EQ(updater.state(), Updater::State::idle());
        EXPECT_EQ(installedVersion(), currentVersion);
        EXPECT_EQ(besideInstallation(), QStringList{QStringLiteral("Толван.app")});
        EXPECT_TRUE(temporaryEntries().isEmpty());
        EXPECT_TRUE(cacheEntries().isEmpty());
        EXPECT_TRUE(starts.empty());
    }

    const qint64 newerBuild = BundleInfo::currentBuild() + 1;
    QString tempDir;
    QString optDir;
    QString installDir;
    UpdateServer server;
    ScriptedAlertPresenter presenter;
    std::vector<QStringList> starts;
    std::vector<Updater::State> states;
    Updater updater;
};

} // namespace

TEST_F(UpdaterTest, UpToDateIsShownOnlyWhenTheUserAsked)
{
    serveCurrentBuild();
    updater.check(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() == 2; }, waitMs));
    EXPECT_EQ(states, (std::vector{Updater::State::checking(), Updater::State::idle()}));
    EXPECT_TRUE(presenter.alerts.empty());

    updater.check(true);
    ASSERT_TRUE(waitForAlerts(1));
    expectInfo(0, QStringLiteral("У вас последняя версия — %1.").arg(currentVersion));
    EXPECT_EQ(server.requestCount(QStringLiteral("/feed.json")), 2);
    EXPECT_EQ(server.requestCount(QStringLiteral("/x.tar.gz")), 0);
}

TEST_F(UpdaterTest, APlaceholderFeedTurnsUpdatesOff)
{
    setFeed(QStringLiteral("https://updates.example.invalid/feed.json"));
    EXPECT_FALSE(Updater::feedConfigured());
    updater.check(true);
    expectInfo(0, QStringLiteral("Сервер обновлений ещё не настроен: укажите адрес в ключе TolvanUpdateFeed "
                                 "(packaging/Info.plist) и пересоберите приложение. Подробности — в README."));
    updater.check(false);
    updater.startAutoChecks(10, 600000);
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: автопроверка пропущена — адрес фида не настроен")));
    EXPECT_EQ(presenter.alerts.size(), 1u);
    EXPECT_TRUE(states.empty());
}

TEST_F(UpdaterTest, UnusableFeedsAreReportedWhenAskedAndLoggedOtherwise)
{
    const QString formatProblem = QStringLiteral("Не удалось проверить обновления.");
    server.putFile(QStringLiteral("/feed.json"), "<html>maintenance</html>", "text/html");
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(1));
    expectInfo(0, formatProblem);
    server.put(QStringLiteral("/feed.json"), HttpResponse::text(404, "{\"error\": \"not found\"}"));
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(2));
    expectInfo(1, formatProblem);
    updater.check(false);
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: фид недоступен (формат)")));

    {
        LocalHttpServer gone;
        ASSERT_TRUE(gone.listen());
        setFeed(gone.url(QStringLiteral("/feed.json")).toString());
    }
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(3));
    expectInfo(2, QStringLiteral("Не удалось проверить обновления: Connection refused"));
    updater.check(false);
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: фид недоступен (Connection refused)")));
    EXPECT_EQ(presenter.alerts.size(), 3u);
    EXPECT_EQ(updater.state(), Updater::State::idle());
}

TEST_F(UpdaterTest, TheOfferShowsTheNotesOrAPlainLineAndLaterRemembersNothing)
{
    serveNewerBuild();
    presenter.offerAnswers = {1, 1};
    updater.check(false);
    ASSERT_TRUE(waitForAlerts(1));
    EXPECT_EQ(presenter.alerts[0].message, QStringLiteral("Доступно обновление: Толван 9.9.9"));
    EXPECT_EQ(presenter.alerts[0].informativeText, QStringLiteral("Исправлены ошибки") + relaunchNote);
    EXPECT_EQ(presenter.alerts[0].buttons, offerButtons);

    serveNewerBuild(QString());
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(2));
    EXPECT_EQ(presenter.alerts[1].informativeText, QStringLiteral("Новая версия готова к установке.") + relaunchNote);
    EXPECT_EQ(server.requestCount(QStringLiteral("/Tolvan-9.9.9.tar.gz")), 0);
    EXPECT_EQ(SettingsStore::shared().integerForKey(SettingsKey::skippedUpdateBuild), 0);
    EXPECT_EQ(updater.state(), Updater::State::idle());
}

TEST_F(UpdaterTest, ASkippedBuildIsOfferedAgainOnlyFromTheMenu)
{
    serveNewerBuild();
    presenter.offerAnswers = {2, 1};
    updater.check(false);
    ASSERT_TRUE(waitForAlerts(1));
    EXPECT_EQ(SettingsStore::shared().integerForKey(SettingsKey::skippedUpdateBuild), newerBuild);
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: пользователь пропустил сборку %1").arg(newerBuild)));

    updater.check(false);
    EXPECT_TRUE(logShows(QStringLiteral("Обновления: сборка %1 пропущена пользователем").arg(newerBuild)));
    EXPECT_EQ(presenter.alerts.size(), 1u);

    updater.check(true);
    ASSERT_TRUE(waitForAlerts(2));
    EXPECT_EQ(presenter.alerts[1].buttons, offerButtons);
}

// Names the update once used in the shared temporary directory, taken by somebody else, neither stop nor see it.
TEST_F(UpdaterTest, AcceptedUpdateIsDownloadedInstalledAndRelaunched)
{
    const QString mountName = QStringLiteral("tolvan-update-mount-%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir().mkpath(tempDir + QStringLiteral("/Tolvan-update.tar.gz/occupied")));
    ASSERT_TRUE(QDir().mkpath(tempDir + QLatin1Char('/') + mountName + QStringLiteral("/planted")));
    serveNewerBuild();
    serveImage(newerImage(), 4096);
    presenter.offerAnswers = {0};
    updater.check(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !starts.empty(); }, waitMs));

    EXPECT_EQ(starts[0],
              (QStringList{QStringLiteral("/bin/bash"), QStringLiteral("-c"), QStringLiteral("sleep 1; exec \"$0\""),
                           installDir + QStringLiteral("/bin/tolvan")}));
    EXPECT_EQ(installedVersion(), QStringLiteral("9.9.9"));
    EXPECT_EQ(BundleInfo::installedBuild(installDir), newerBuild);
    EXPECT_EQ(besideInstallation(), QStringList{QStringLiteral("Толван.app")});
    EXPECT_EQ(presenter.alerts.size(), 1u);
    QStringList entries = temporaryEntries();
    entries.sort();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Tolvan-update.tar.gz"), mountName}));
    EXPECT_TRUE(QFileInfo::exists(tempDir + QLatin1Char('/') + mountName + QStringLiteral("/planted")));
    // rwx for the owner, nothing for group and others (the "user" bits repeat the owner's).
    EXPECT_EQ(QFile::permissions(cacheDir()).toInt() & 0x7077, 0x7000);
    EXPECT_TRUE(cacheEntries().isEmpty());

    // checking, idle, downloading from 0 to 1 without going back, installing.
    ASSERT_GE(states.size(), 5u);
    EXPECT_EQ(states[0], Updater::State::checking());
    EXPECT_EQ(states[1], Updater::State::idle());
    EXPECT_EQ(states[2], Updater::State::downloading(0));
    EXPECT_EQ(states.back(), Updater::State::installing());
    double previous = 0;
    for (size_t index = 2; index + 1 < states.size(); ++index) {
        EXPECT_EQ(states[index].kind, Updater::State::Kind::downloading);
        EXPECT_GE(states[index].fraction, previous);
        previous = states[index].fraction;
    }
    EXPECT_DOUBLE_EQ(previous, 1.0);
    EXPECT_TRUE(logShows(QStringLiteral("Обновление: загрузка ") +
                         server.url(QStringLiteral("/Tolvan-9.9.9.tar.gz")).toString()));
    EXPECT_TRUE(logShows(QStringLiteral("Обновление установлено, перезапуск")));
}

TEST_F(UpdaterTest, RelaunchStartsTheInstalledCopyAfterASecond)
{
    Updater::setDetachedStart({});
    const QString marker = TestImage::startMarker(TestEnvironment::home(), currentVersion);
    Updater::relaunch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(marker).endsWith(QLatin1Char('\n')); }, waitMs));
    EXPECT_EQ(readFile(marker).trimmed(), installDir + QStringLiteral("/bin/tolvan"));
}

TEST_F(UpdaterTest, AFailedDownloadEndsIdleWithAnAlert)
{
    serveNewerBuild();
    expectFailedUpdate(QStringLiteral("Не удалось загрузить обновление: сервер ответил кодом 404"));
}

TEST_F(UpdaterTest, AnImageThatCannotBeSavedEndsIdleWithAnAlert)
{
    serveNewerBuild();
    serveImage(newerImage());
    QDir().mkpath(cacheDir() + QStringLiteral("/Tolvan-update.tar.gz/occupied"));
    presenter.offerAnswers = {0};
    updater.check(true);
    ASSERT_TRUE(waitForAlerts(2));
    EXPECT_TRUE(
        presenter.alerts[1].informativeText.startsWith(QStringLiteral("Не удалось сохранить загруженное обновление: ")))
        << presenter.alerts[1].informativeText.toStdString();
    EXPECT_EQ(updater.state(), Updater::State::idle());
    EXPECT_EQ(installedVersion(), currentVersion);
    EXPECT_TRUE(temporaryEntries().isEmpty());
    EXPECT_EQ(cacheEntries(), QStringList{QStringLiteral("Tolvan-update.tar.gz")});
}

TEST_F(UpdaterTest, AFailedInstallKeepsTheInstalledCopy)
{
    for (const auto& [bundleIdentifier, sha256, reason] :
         {std::tuple{QStringLiteral("org.example.Other"), QByteArray(), "в образе другое приложение"},
          {identifier, QByteArray(64, 'a'), "контрольная сумма образа не совпадает с указанной в фиде"}}) {
        serveNewerBuild(QString(), sha256);
        serveImage(newerImage(bundleIdentifier));
        states.clear();
        presenter.alerts.clear();
        expectFailedUpdate(QStringLiteral("Не удалось установить обновление: ") + QString::fromUtf8(reason) +
                           manualNote);
        ASSERT_GE(states.size(), 2u);
        EXPECT_EQ(states.back(), Updater::State::idle());
        EXPECT_EQ(states[states.size() - 2], Updater::State::installing());
    }
}

TEST_F(UpdaterTest, ASecondCheckWhileUpdatingIsRefused)
{
    serveNewerBuild();
    serveImage(newerImage(), 0, 500);
    presenter.offerAnswers = {0};
    updater.check(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater.state().kind == Updater::State::Kind::downloading; }, waitMs));
    updater.check(true);
    updater.check(false);
    ASSERT_EQ(presenter.alerts.size(), 2u);
    expectInfo(1, QStringLiteral("Обновление уже выполняется."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !starts.empty(); }, waitMs));
    EXPECT_EQ(server.requestCount(QStringLiteral("/feed.json")), 1);
    EXPECT_EQ(installedVersion(), QStringLiteral("9.9.9"));
}

TEST_F(UpdaterTest, AutomaticChecksRunSoonAfterStartAndThenRepeat)
{
    serveCurrentBuild();
    updater.startAutoChecks(10, 150);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.requestCount(QStringLiteral("/feed.json")) >= 3; }, waitMs));
    EXPECT_TRUE(presenter.alerts.empty());

    serveNewerBuild();
    ASSERT_TRUE(waitForAlerts(1));
    EXPECT_EQ(presenter.alerts[0].buttons, offerButtons);
}

TEST_F(UpdaterTest, AnOpenOfferIsNotStackedByLaterAutomaticChecks)
{
    serveNewerBuild();
    presenter.whilePresenting = [] { QTest::qWait(500); };
    updater.startAutoChecks(10, 40);
    ASSERT_TRUE(waitForAlerts(1));
    EXPECT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(server.requestCount(QStringLiteral("/feed.json")), 1);
}

TEST_F(UpdaterTest, AutomaticChecksHonourTheSetting)
{
    SettingsStore::shared().setBool(SettingsKey::autoUpdateCheck, false);
    serveNewerBuild();
    updater.startAutoChecks(10, 50);
    QTest::qWait(400);
    EXPECT_EQ(server.totalRequests(), 0);
    EXPECT_TRUE(presenter.alerts.empty());
    EXPECT_TRUE(states.empty());
}
