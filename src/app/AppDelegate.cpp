#include "app/AppDelegate.h"

#include "BuildInfo.h"
#include "app/AlertPresenter.h"
#include "app/Log.h"
#include "app/SettingsStore.h"
#include "app/StatusIcon.h"
#include "dictation/DictationController.h"
#include "dictation/HotkeyManager.h"
#include "dictation/RecordingArchive.h"
#include "engines/ChildProcess.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "engines/WhisperServer.h"
#include "platform/SignalWatcher.h"
#include "quality/AdvisorEngine.h"

#include <QApplication>
#include <QPointer>
#include <QSystemTrayIcon>

#include <csignal>

AppDelegate::AppDelegate()
    : controller_(std::make_unique<DictationController>()), hotkeys_(std::make_unique<HotkeyManager>())
{}

AppDelegate::~AppDelegate()
{
    ModelManager::shared().onProgress = nullptr;
    ModelManager::shared().onFinished = nullptr;
}

void AppDelegate::applicationDidFinishLaunching()
{
    Log::info(QStringLiteral("Запуск «Толван» ") + QLatin1String(BuildInfo::shortVersion));

    statusItem_ = std::make_unique<QSystemTrayIcon>();
    connect(&menu_, &QMenu::aboutToShow, this, &AppDelegate::menuNeedsUpdate);
    menuNeedsUpdate();
    statusItem_->setContextMenu(&menu_);
    updateIcon();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        Log::info(QStringLiteral("Системный трей недоступен: значок появится, когда запустится панель с треем"));
    statusItem_->show();

    controller_->onPhaseChange = [this] {
        updateIcon();
        // Enter and Esc belong to the user again the moment a recording ends, however it ended.
        hotkeys_->refreshGrabs();
    };
    wireModelManager();
    wireHotkeys();

    sigtermSource_ = std::make_unique<SignalWatcher>(std::initializer_list<int>{SIGTERM, SIGINT});
    sigtermSource_->onSignal = [](int) { QApplication::quit(); };

    WhisperServer::killStrays();
    controller_->startServer();
    armHotkeys();
    AdvisorEngine::shared().onState = [self = QPointer<AppDelegate>(this)](const AdvisorEngine::State&) {
        if (self)
            self->updateIcon();
    };
}

void AppDelegate::wireModelManager()
{
    ModelManager& models = ModelManager::shared();
    const QPointer<AppDelegate> self(this);
    models.onProgress = [self](const QString&, double) {
        if (self)
            self->updateIcon();
    };
    models.onFinished = [self](const QString& modelID, const std::optional<Error>& error) {
        if (!self)
            return;
        self->updateIcon();
        if (error) {
            // Out of the download's own callback: the alert runs a modal loop.
            QTimer::singleShot(0, self, [description = error->description()] {
                AlertPresenter::shared().present(
                    Alert{QStringLiteral("Не удалось загрузить модель"), description, {QStringLiteral("Понятно")}});
            });
            return;
        }
        if (modelID ==
            SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(ModelCatalog::defaultModelID()))
            self->controller_->startServer();
    };
}

void AppDelegate::wireHotkeys()
{
    DictationController* controller = controller_.get();
    hotkeys_->isRecording = [controller] { return controller->phase() == DictationController::Phase::recording; };
    hotkeys_->onToggle = [controller] {
        if (controller->phase() == DictationController::Phase::recording)
            controller->finish();
        else
            controller->begin(DictationController::Source::toggle);
    };
    hotkeys_->onPTTBegin = [controller] {
        if (controller->phase() != DictationController::Phase::recording)
            controller->begin(DictationController::Source::ptt);
    };
    hotkeys_->onPTTEnd = [controller] {
        if (controller->phase() == DictationController::Phase::recording &&
            controller->source() == DictationController::Source::ptt)
            controller->finish();
    };
    hotkeys_->onCancel = [controller] { controller->cancel(); };
    hotkeys_->onDone = [controller] {
        if (controller->phase() == DictationController::Phase::recording)
            controller->finish();
    };
    hotkeys_->onUserTyping = [controller] { controller->hud().dismissIfTransient(); };
}

void AppDelegate::armHotkeys()
{
    if (hotkeys_->startIfPossible())
        return;
    axPollTimer_.stop();
    axPollTimer_.disconnect();
    connect(&axPollTimer_, &QTimer::timeout, this, [this] {
        if (!hotkeys_->startIfPossible())
            return;
        axPollTimer_.stop();
        updateIcon();
    });
    axPollTimer_.start(hotkeyRetryMs);
}

void AppDelegate::applicationWillTerminate()
{
    Log::info(QStringLiteral("Завершение работы"));
    axPollTimer_.stop();
    controller_->keepUnfinished();
    controller_->server().stop();
    AdvisorEngine::shared().shutdown();
    ChildProcess::finishEnding();
    if (statusItem_)
        statusItem_->hide();
}

void AppDelegate::updateIcon()
{
    if (!statusItem_)
        return;
    switch (controller_->phase()) {
    case DictationController::Phase::idle:
        statusItem_->setIcon(StatusIcon::idle());
        break;
    case DictationController::Phase::recording:
        statusItem_->setIcon(StatusIcon::recording());
        break;
    case DictationController::Phase::transcribing:
        statusItem_->setIcon(StatusIcon::transcribing());
        break;
    }
    statusItem_->setToolTip(QStringLiteral("Толван — локальная диктовка"));
}

void AppDelegate::menuNeedsUpdate()
{
    menu_.clear();
    const bool recording = controller_->phase() == DictationController::Phase::recording;
    menu_.addAction(recording ? QStringLiteral("Остановить и распознать") : QStringLiteral("Начать диктовку"), this,
                    &AppDelegate::menuToggleDictation);
    if (const qsizetype kept = RecordingArchive::files().size(); kept > 0) {
        menu_.addAction(QStringLiteral("Распознать сохранённую запись (%1)").arg(kept), controller_.get(),
                        &DictationController::recognizeSavedRecording);
    }
    menu_.addSeparator();
    QAction* quit = menu_.addAction(QStringLiteral("Выйти"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}

void AppDelegate::menuToggleDictation()
{
    if (controller_->phase() == DictationController::Phase::recording)
        controller_->finish();
    else
        controller_->begin(DictationController::Source::toggle);
}
