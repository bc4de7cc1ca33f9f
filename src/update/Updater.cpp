#include "update/Updater.h"

#include "core/AlertPresenter.h"
#include "core/Console.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/PrivateFiles.h"
#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "platform/Processes.h"
#include "update/BundleInfo.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateKeys.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QThreadPool>

namespace
{

bool startDetachedProcess(const QString& program, const QStringList& arguments)
{
    return Processes::startDetached(program, arguments);
}

Updater::DetachedStart& detachedStart()
{
    static Updater::DetachedStart start = startDetachedProcess;
    return start;
}

QString installedExecutable()
{
    return Paths::installDir() + QStringLiteral("/bin/tolvan");
}

// Runs the calling thread's events until the flag is set.
void waitFor(const bool& done)
{
    QEventLoop loop;
    while (!done)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

FeedAnswer fetchFeedBlocking(QNetworkAccessManager& network, const QUrl& address)
{
    FeedAnswer answer;
    bool done = false;
    QObject context;
    FeedRequest::fetch(network, address, &context, [&](const FeedAnswer& received) {
        answer = received;
        done = true;
    });
    waitFor(done);
    return answer;
}

// The image waits for its install in the user's own cache, in a directory only the user can enter: a
// shared temporary directory would let anybody read it, or block it by taking its name first.
bool prepareCacheDirectory()
{
    if (PrivateFiles::ensureDirectory(Paths::cacheDir()))
        return true;
    Log::info(QStringLiteral("Обновление: не удалось подготовить папку ") + Paths::cacheDir());
    return false;
}

// A signed feed may still be an old one served again: an older build than the running one is never installed.
std::optional<QString> downgrade(const FeedInfo& feed)
{
    const qint64 running = BundleInfo::currentBuild();
    if (feed.build >= running)
        return std::nullopt;
    return QStringLiteral("сборка %1 в фиде старше запущенной сборки %2 — возврат к старой версии не выполняется")
        .arg(feed.build)
        .arg(running);
}

// The saved image's path, or why there is none.
Result<QString> downloadBlocking(QNetworkAccessManager& network, const FeedInfo& feed, const QString& destination)
{
    std::optional<Error> failure;
    bool done = false;
    QObject context;
    FileDownload* download = ImageDownload::create(network, feed, destination, &context);
    download->onFinished = [&](const Result<FileDownload::Arrived>& finished) {
        if (!finished)
            failure = finished.error();
        done = true;
    };
    download->start();
    waitFor(done);
    if (failure)
        return *failure;
    return destination;
}

} // namespace

Updater& Updater::shared()
{
    // Kept for the life of the process, past the application object.
    static Updater* updater = new Updater;
    return *updater;
}

Updater::Updater(QObject* parent) : QObject(parent)
{
    firstAutoCheck_.setSingleShot(true);
    connect(&firstAutoCheck_, &QTimer::timeout, this, &Updater::automaticCheck);
    connect(&autoTimer_, &QTimer::timeout, this, &Updater::automaticCheck);
}

QUrl Updater::feedURL()
{
    return SettingsStore::shared().updateFeedURL();
}

bool Updater::feedConfigured()
{
    return UpdateFeed::isConfigured(feedURL());
}

QString Updater::downloadPath()
{
    return Paths::cacheDir() + QStringLiteral("/Tolvan-update.tar.gz");
}

QString Updater::headlessDownloadPath()
{
    return Paths::cacheDir() + QStringLiteral("/Tolvan-headless-update.tar.gz");
}

void Updater::setDetachedStart(DetachedStart start)
{
    detachedStart() = start ? std::move(start) : startDetachedProcess;
}

void Updater::setState(State state)
{
    state_ = state;
    emit stateChanged();
}

void Updater::startAutoChecks(int firstDelayMs, int intervalMs)
{
    if (Resources::isPackageManaged()) {
        Log::info(QStringLiteral("Обновления: автопроверка выключена — Толван установлен пакетом"));
        return;
    }
    Log::info(UpdateKeys::description());
    if (UpdateKeys::trusted().isEmpty())
        return;
    firstAutoCheck_.start(firstDelayMs);
    autoTimer_.start(intervalMs);
}

void Updater::automaticCheck()
{
    // The offer waits for the user in a nested event loop, where the daily timer keeps firing.
    if (offerOpen_)
        return;
    if (!SettingsStore::shared().boolForKey(SettingsKey::autoUpdateCheck)) {
        Log::info(QStringLiteral("Обновления: автопроверка пропущена — выключена в настройках"));
        return;
    }
    if (feedConfigured())
        check(false);
    else
        Log::info(QStringLiteral("Обновления: автопроверка пропущена — адрес фида не настроен"));
}

void Updater::check(bool interactive)
{
    if (state_.kind != State::Kind::idle) {
        if (interactive)
            info(QStringLiteral("Обновление уже выполняется."));
        return;
    }
    if (Resources::isPackageManaged()) {
        if (interactive)
            info(QStringLiteral("Толван установлен пакетом: обновления приходят вместе с ним через менеджер пакетов "
                                "(например, «sudo apt upgrade»)."));
        return;
    }
    if (UpdateKeys::trusted().isEmpty()) {
        if (interactive)
            info(UpdateKeys::description() + QStringLiteral(" Подробности — в README."));
        return;
    }
    if (!feedConfigured()) {
        if (interactive)
            info(QStringLiteral("Сервер обновлений ещё не настроен: укажите адрес в ключе TolvanUpdateFeed "
                                "(packaging/Info.plist) и пересоберите приложение. Подробности — в README."));
        return;
    }
    setState(State::checking());
    FeedRequest::fetch(network_, feedURL(), this,
                       [this, interactive](const FeedAnswer& answer) { feedArrived(answer, interactive); });
}

void Updater::feedArrived(const FeedAnswer& answer, bool interactive)
{
    setState(State::idle());
    if (answer.refusal)
        return refuse(answer.refusal->description(), interactive);
    if (!answer.info) {
        if (interactive)
            info(QStringLiteral("Не удалось проверить обновления") +
                 (answer.transportError ? QStringLiteral(": ") + answer.transportError->description()
                                        : QStringLiteral(".")));
        else
            Log::info(
                QStringLiteral("Обновления: фид недоступен (%1)")
                    .arg(answer.transportError ? answer.transportError->description() : QStringLiteral("формат")));
        return;
    }
    const FeedInfo& feed = *answer.info;
    if (const auto refused = downgrade(feed))
        return refuse(*refused, interactive);
    if (feed.build > BundleInfo::currentBuild()) {
        if (!interactive && SettingsStore::shared().integerForKey(SettingsKey::skippedUpdateBuild) == feed.build) {
            Log::info(QStringLiteral("Обновления: сборка %1 пропущена пользователем").arg(feed.build));
            return;
        }
        offer(feed);
        return;
    }
    if (interactive)
        info(QStringLiteral("У вас последняя версия — %1.").arg(BundleInfo::currentVersion()));
}

void Updater::refuse(const QString& reason, bool interactive)
{
    if (interactive)
        info(QStringLiteral("Обновление отклонено: ") + reason + QLatin1Char('.'));
    else
        Log::info(QStringLiteral("Обновления: фид отклонён — ") + reason);
}

void Updater::offer(const FeedInfo& feed)
{
    const QString notes = feed.notes.isEmpty() ? QStringLiteral("Новая версия готова к установке.") : feed.notes;
    offerOpen_ = true;
    const int answer = AlertPresenter::shared().present(
        {QStringLiteral("Доступно обновление: Толван ") + feed.version,
         notes + QStringLiteral("\n\nТекущая версия: ") + BundleInfo::currentVersion() +
             QStringLiteral(". Приложение обновится и перезапустится автоматически."),
         {QStringLiteral("Обновить"), QStringLiteral("Позже"), QStringLiteral("Пропустить эту версию")}});
    offerOpen_ = false;
    if (answer == 0) {
        download(feed);
    } else if (answer == 2) {
        SettingsStore::shared().setInteger(SettingsKey::skippedUpdateBuild, feed.build);
        Log::info(QStringLiteral("Обновления: пользователь пропустил сборку %1").arg(feed.build));
    }
}

void Updater::download(const FeedInfo& feed)
{
    if (state_.kind != State::Kind::idle)
        return;
    setState(State::downloading(0));
    Log::info(QStringLiteral("Обновление: загрузка ") + feed.url.toString());
    prepareCacheDirectory();
    download_ = ImageDownload::create(network_, feed, downloadPath(), this);
    download_->onProgress = [this, size = feed.size](qint64 received, qint64) {
        setState(State::downloading(size > 0 ? static_cast<double>(received) / static_cast<double>(size) : 0.0));
    };
    download_->onFinished = [this, feed](const Result<FileDownload::Arrived>& result) {
        downloadFinished(result, feed);
    };
    download_->start();
}

void Updater::downloadFinished(const Result<FileDownload::Arrived>& result, const FeedInfo& feed)
{
    const bool failedWhileSaving = download_ && download_->failedWhileSaving();
    if (download_)
        download_->deleteLater();
    if (!result && failedWhileSaving) {
        setState(State::idle());
        info(QStringLiteral("Не удалось сохранить загруженное обновление: ") + result.error().description());
    } else if (!result) {
        if (state_.kind != State::Kind::downloading)
            return;
        setState(State::idle());
        info(QStringLiteral("Не удалось загрузить обновление: ") + result.error().description());
    } else {
        install(downloadPath(), feed);
    }
}

void Updater::install(const QString& image, const FeedInfo& feed)
{
    setState(State::installing());
    const UpdateInstaller::Options options = UpdateInstaller::defaultOptions();
    const QPointer<Updater> self(this);
    QThreadPool::globalInstance()->start([self, image, feed, options] {
        const Result<Done> installed = UpdateInstaller::performInstall(image, feed, options);
        QFile::remove(image);
        MainThread::post([self, installed] {
            if (!self)
                return;
            if (installed) {
                Log::info(QStringLiteral("Обновление установлено, перезапуск"));
                relaunch();
                return;
            }
            self->setState(State::idle());
            info(QStringLiteral("Не удалось установить обновление: ") + installed.error().description() +
                 QStringLiteral("\nСкачайте новую версию с сайта вручную."));
        });
    });
}

void Updater::info(const QString& text)
{
    AlertPresenter::shared().present({QStringLiteral("Обновления"), text, {QStringLiteral("Понятно")}});
}

void Updater::relaunch()
{
    // The pause lets this process quit before the new copy starts.
    if (!detachedStart()(QStringLiteral("/bin/bash"),
                         {QStringLiteral("-c"), QStringLiteral("sleep 1; exec \"$0\""), installedExecutable()}))
        Log::info(QStringLiteral("Обновление: не удалось запустить %1").arg(installedExecutable()));
    QCoreApplication::quit();
}

int Updater::headlessUpdate(const QUrl& feedURL)
{
    if (UpdateKeys::trusted().isEmpty()) {
        Console::print(QStringLiteral("обновления выключены: в эту сборку не встроен ключ проверки подписи"));
        return 1;
    }
    QNetworkAccessManager network;
    const FeedAnswer answer = fetchFeedBlocking(network, feedURL);
    if (answer.refusal) {
        Console::print(QStringLiteral("фид отклонён: ") + answer.refusal->description());
        return 1;
    }
    if (!answer.info) {
        Console::print(QStringLiteral("фид недоступен: ") + (answer.transportError
                                                                 ? answer.transportError->description()
                                                                 : QStringLiteral("неверный формат")));
        return 1;
    }
    const FeedInfo& feed = *answer.info;
    const qint64 installed = BundleInfo::installedBuild(Paths::installDir());
    Console::print(QStringLiteral("установлено: build %1; в фиде: %2 (build %3)")
                       .arg(QString::number(installed), feed.version, QString::number(feed.build)));
    if (const auto refused = downgrade(feed)) {
        Console::print(QStringLiteral("фид отклонён: ") + *refused);
        return 1;
    }
    if (feed.build <= installed) {
        Console::print(QStringLiteral("обновление не требуется"));
        return 0;
    }
    prepareCacheDirectory();
    const Result<QString> downloaded = downloadBlocking(network, feed, headlessDownloadPath());
    if (!downloaded) {
        const QString description = downloaded.error().description();
        Console::print(QStringLiteral("загрузка не удалась: ") +
                       (description.isEmpty() ? QStringLiteral("?") : description));
        return 1;
    }
    Console::print(QStringLiteral("скачано: ") + downloaded.value());
    const Result<Done> result = UpdateInstaller::performInstall(downloaded.value(), feed);
    QFile::remove(downloaded.value());
    if (!result) {
        Console::print(QStringLiteral("установка не удалась: ") + result.error().description());
        return 1;
    }
    Console::print(QStringLiteral("установлено, запускаю новую версию"));
    if (!detachedStart()(installedExecutable(), {}))
        Log::info(QStringLiteral("Обновление: не удалось запустить %1").arg(installedExecutable()));
    return 0;
}
