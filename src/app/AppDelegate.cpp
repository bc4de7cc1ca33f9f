#include "app/AppDelegate.h"

#include "BuildInfo.h"
#include "app/CorrectionSuggestions.h"
#include "app/LearnWordFlow.h"
#include "app/NoticeTexts.h"
#include "app/PermissionsReport.h"
#include "app/StatusIcon.h"
#include "app/TranscribeFileFlow.h"
#include "app/TrayMenu.h"
#include "children/ChildProcess.h"
#include "core/AlertPresenter.h"
#include "core/Log.h"
#include "core/SettingsStore.h"
#include "dictation/DictationController.h"
#include "dictation/EngineRouter.h"
#include "dictation/HotkeyManager.h"
#include "engines/GigaAMEngine.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "engines/ModelVerification.h"
#include "engines/WhisperGpu.h"
#include "engines/WhisperServer.h"
#include "platform/ClipboardKeeper.h"
#include "platform/DesktopSession.h"
#include "platform/SelectionOwner.h"
#include "platform/SignalWatcher.h"
#include "platform/TextFieldWatch.h"
#include "platform/TrayHost.h"
#include "platform/WaylandRoute.h"
#include "quality/AdvisorEngine.h"
#include "text/TranscriptPipeline.h"
#include "ui/HistoryWindow.h"
#include "ui/OverlayHUD.h"
#include "ui/settings/SettingsWindow.h"
#include "update/Updater.h"
#include "voice/VoiceDetector.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>

#include <csignal>
#include <optional>
#include <utility>

AppDelegate::AppDelegate()
    : controller_(std::make_unique<DictationController>()), panel_(std::make_unique<OverlayHUD>()),
      transcribeFile_(std::make_unique<TranscribeFileFlow>(*controller_)), hotkeys_(std::make_unique<HotkeyManager>()),
      learnWord_(std::make_unique<LearnWordFlow>()),
      suggestions_(std::make_unique<CorrectionSuggestions>(controller_->display())),
      permissions_(std::make_unique<PermissionsReport>())
{
    panel_->observe(controller_->display());
    // The recognizer hears the new spelling from the next request on.
    learnWord_->onLearned = [this] { controller_->refreshPrompt(); };
    suggestions_->onLearned = [this] { controller_->refreshPrompt(); };
    connect(controller_.get(), &DictationController::textPasted, &TextFieldWatch::shared(), &TextFieldWatch::follow);
    connect(&TextFieldWatch::shared(), &TextFieldWatch::edited, suggestions_.get(), &CorrectionSuggestions::textEdited);
    // Where a program keeps its text from the accessibility bus, the fix is made in the history instead.
    connect(&HistoryWindow::shared(), &HistoryWindow::entryEdited, suggestions_.get(),
            &CorrectionSuggestions::textEdited);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::start()
{
    Log::info(QStringLiteral("Запуск «Толван» ") + QLatin1String(BuildInfo::shortVersion));
    Log::info(DesktopSession::describe());
    // Answered by a child meanwhile; the first model choice and the recognizer's start wait for it.
    WhisperGpu::probe();
    // Connected now: native windows get the seat's keyboard, and the route follows our clipboard from the start.
    WaylandRoute::shared();
    TextFieldWatch::shared().setEnabled(SettingsStore::shared().boolForKey(SettingsKey::learnFromCorrections));
    // Desktop shells match the app's windows to its desktop entry by this name.
    QGuiApplication::setDesktopFileName(QLatin1String(BuildInfo::bundleIdentifier));
    QApplication::setWindowIcon(QIcon::fromTheme(QLatin1String(BuildInfo::bundleIdentifier), StatusIcon::idle()));

    trayIcon_ = std::make_unique<QSystemTrayIcon>();
    trayMenu_ =
        std::make_unique<TrayMenu>(*controller_, *hotkeys_, *transcribeFile_, *learnWord_, *suggestions_,
                                   TrayMenu::Actions{[this] { menuToggleDictation(); }, [this] { openSettings(); },
                                                     [this] { showPermissions(); }, [this] { showAbout(); }});
    trayIcon_->setContextMenu(&trayMenu_->menu());
    // Trays, Plasma's among them, leave the left click to the app: it opens the same menu. In a Wayland session the
    // pointer's position is unknown to an X11 program, and a menu would open out of place.
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !DesktopSession::isWayland())
            trayMenu_->menu().popup(QCursor::pos());
    });
    updateIcon();
    trayIcon_->show();
    QTimer::singleShot(0, this, [] {
        TranscriptPipeline::warmUp();
        VoiceDetector::shared().warmUp();
    });
    followTray();
    connect(&trayWatch_, &QTimer::timeout, this, &AppDelegate::followTray);
    trayWatch_.start(trayCheckMs);

    connect(controller_.get(), &DictationController::settingsRequested, this, &AppDelegate::openSettings);
    connect(controller_.get(), &DictationController::phaseChanged, this, [this] {
        updateIcon();
        // Enter and Esc belong to the user again the moment a recording ends, however it ended.
        hotkeys_->refreshGrabs();
    });
    wireModelManager();
    wireHotkeys();

    sigtermSource_ = std::make_unique<SignalWatcher>(std::initializer_list<int>{SIGTERM, SIGINT});
    // Unlike quit(), exit() also ends an alert waiting for an answer: the session is ending, nobody will answer.
    sigtermSource_->onSignal = [](int) { QApplication::exit(0); };

    WhisperServer::endStrays();
    GigaAMEngine::endStrays();
    AdvisorEngine::endStrays();
    if (!SettingsStore::shared().boolForKey(SettingsKey::firstRunDone))
        ModelCatalog::settleDefault();
    controller_->startServer();
    armHotkeys();
    connect(&AdvisorEngine::shared(), &AdvisorEngine::stateChanged, this, &AppDelegate::updateIcon);
    SettingsWindow::shared().restartEngine = [this] { controller_->startServer(); };
    SettingsWindow::shared().onHotkeysChanged = [this] { hotkeys_->refreshGrabs(); };
    SettingsWindow::shared().rightAltIsAltGr = [this] { return hotkeys_->rightAltIsAltGr(); };
    connect(&Updater::shared(), &Updater::stateChanged, this, &AppDelegate::updateIcon);
    Updater::shared().startAutoChecks();
    SettingsStore::shared().setString(SettingsKey::lastRunVersion, QLatin1String(BuildInfo::shortVersion));
    if (!SettingsStore::shared().boolForKey(SettingsKey::firstRunDone))
        QTimer::singleShot(0, this, &AppDelegate::showFirstRunNotice);
}

void AppDelegate::wireModelManager()
{
    ModelManager& models = ModelManager::shared();
    const QPointer<AppDelegate> self(this);
    connect(&models, &ModelManager::progressChanged, this, &AppDelegate::updateIcon);
    connect(&models, &ModelManager::downloadFinished, this,
            [self](const QString& modelID, const std::optional<Error>& error) {
                self->updateIcon();
                const bool active =
                    modelID ==
                    SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(ModelCatalog::defaultModelID());
                if (error) {
                    if (active)
                        self->controller_->keepQueued(QStringLiteral("модель не загрузилась: ") + error->description());
                    // Out of the download's own callback: the alert runs a modal loop.
                    QTimer::singleShot(0, self, [self, modelID, description = error->description()] {
                        if (self)
                            self->offerDownloadAgain(modelID, description);
                    });
                    return;
                }
                if (active)
                    self->controller_->startServer();
            });
    // Files that came before their digests were pinned, checked once in the background. One that does not match
    // is gone: the active model is downloaded again, and its server restarted with it once it is there.
    ModelVerification::checkOnce(ModelCatalog::all(), this, [self](const RecognitionModel& model) {
        if (self && model.id == EngineRouter::activeModel().id)
            self->controller_->startServer();
    });
}

void AppDelegate::offerDownloadAgain(const QString& modelID, const QString& reason)
{
    // The reason is a sentence that may also follow a colon elsewhere; alone it starts with a capital.
    const QString sentence = reason.left(1).toUpper() + reason.mid(1);
    const int answer =
        AlertPresenter::shared().present(Alert{QStringLiteral("Не удалось загрузить модель"),
                                               sentence,
                                               {QStringLiteral("Повторить"), QStringLiteral("Понятно")}});
    if (answer == 0)
        ModelManager::shared().download(ModelCatalog::byID(modelID));
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
    hotkeys_->onPTTChord = [controller] {
        if (controller->phase() == DictationController::Phase::recording &&
            controller->source() == DictationController::Source::ptt)
            controller->abandon();
    };
    hotkeys_->onCancel = [controller] { controller->cancel(); };
    hotkeys_->onDone = [controller] {
        if (controller->phase() == DictationController::Phase::recording)
            controller->finish();
    };
    hotkeys_->onUserTyping = [controller] { controller->display().dismissIfTransient(); };
    hotkeys_->onLearn = [this] { learnWord_->start(); };
    hotkeys_->onOfferChanged = [this] {
        if (trayMenu_)
            trayMenu_->refresh();
        if (std::exchange(firstRunNoticeWaits_, false))
            showFirstRunNotice();
    };
}

void AppDelegate::armHotkeys()
{
    if (hotkeys_->startIfPossible())
        return;
    hotkeyRetryTimer_.stop();
    hotkeyRetryTimer_.disconnect();
    connect(&hotkeyRetryTimer_, &QTimer::timeout, this, [this] {
        if (!hotkeys_->startIfPossible())
            return;
        hotkeyRetryTimer_.stop();
        updateIcon();
    });
    hotkeyRetryTimer_.start(hotkeyRetryMs);
}

// GNOME without an extension for it has no tray: the menu is then offered in the settings window, which every
// new start opens. A tray host may come and go at any time; Qt shows the icon in a new one by itself.
void AppDelegate::followTray()
{
    // Qt's own check reads the tray watcher's property over D-Bus, blocking this thread as long as the watcher takes.
    const bool available = TrayHost::available();
    if (trayAvailable_ == available)
        return;
    if (!available)
        Log::info(QStringLiteral("Системный трей недоступен: меню Толвана — в окне настроек, его открывает каждый "
                                 "новый запуск Толвана; значок появится, когда запустится панель с треем"));
    else if (trayAvailable_.has_value())
        Log::info(QStringLiteral("Системный трей появился: меню Толвана — у значка в трее"));
    trayAvailable_ = available;
    SettingsWindow::shared().offerAppMenu(available ? nullptr : &trayMenu_->menu());
}

void AppDelegate::prepareToQuit()
{
    Log::info(QStringLiteral("Завершение работы"));
    stopWork();
    if (trayIcon_)
        trayIcon_->hide();
}

void AppDelegate::displayLost()
{
    Log::info(QStringLiteral("Связь с X-сервером потеряна — завершение работы"));
    stopWork();
}

void AppDelegate::stopWork()
{
    hotkeyRetryTimer_.stop();
    trayWatch_.stop();
    keepClipboard();
    controller_->keepUnfinished();
    controller_->whisperServer().stop();
    GigaAMEngine::shared().stop();
    AdvisorEngine::shared().shutdown();
    WaylandRoute::shared().close();
    ChildProcess::finishEnding();
}

// What we put on the clipboard stays pasteable after quit, also where nobody keeps a copy: a compositor without one
// for native windows, an X11 session without a clipboard manager.
void AppDelegate::keepClipboard()
{
    std::optional<ClipboardKeeper::Side> side;
    QString text;
    if (WaylandRoute& route = WaylandRoute::shared(); route.hasOwnClipboard()) {
        side = ClipboardKeeper::Side::wayland;
        text = route.clipboardToKeep();
    } else if (!DesktopSession::isWayland() && QGuiApplication::clipboard()->ownsClipboard() &&
               !SelectionOwner::clipboardManagerRuns()) {
        side = ClipboardKeeper::Side::x11;
        text = QGuiApplication::clipboard()->text();
    }
    if (side && !text.isEmpty() && !ClipboardKeeper::handOver(text, *side))
        Log::info(QStringLiteral("Текст в буфере обмена не сохранён после выхода: не удалось запустить хранителя"));
}

void AppDelegate::updateIcon()
{
    if (!trayIcon_)
        return;
    switch (controller_->phase()) {
    case DictationController::Phase::idle:
        trayIcon_->setIcon(StatusIcon::idle());
        break;
    case DictationController::Phase::recording:
        trayIcon_->setIcon(StatusIcon::recording());
        break;
    case DictationController::Phase::transcribing:
        trayIcon_->setIcon(StatusIcon::transcribing());
        break;
    }
    trayIcon_->setToolTip(QStringLiteral("Толван — локальная диктовка"));
}

void AppDelegate::openSettings()
{
    SettingsWindow::shared().showWindow();
}

void AppDelegate::menuToggleDictation()
{
    if (controller_->phase() == DictationController::Phase::recording)
        controller_->finish();
    else
        controller_->begin(DictationController::Source::toggle);
}

void AppDelegate::handleCommand(RemoteCommand::Kind command)
{
    switch (command) {
    case RemoteCommand::Kind::show:
        openSettings();
        break;
    case RemoteCommand::Kind::toggle:
        menuToggleDictation();
        break;
    case RemoteCommand::Kind::finish:
        if (controller_->phase() == DictationController::Phase::recording)
            controller_->finish();
        break;
    case RemoteCommand::Kind::cancel:
        controller_->cancel();
        break;
    case RemoteCommand::Kind::learn:
        learnWord_->start();
        break;
    }
    hotkeys_->refreshGrabs();
}

void AppDelegate::showPermissions()
{
    permissions_->show(hotkeys_->offer());
}

void AppDelegate::showAbout()
{
    AlertPresenter::shared().present(NoticeTexts::about(hotkeys_->offer()));
}

void AppDelegate::showFirstRunNotice()
{
    // It names the keys the desktop's portal binds, once it has said which.
    if (hotkeys_->offerPending()) {
        firstRunNoticeWaits_ = true;
        return;
    }
    SettingsStore::shared().setBool(SettingsKey::firstRunDone, true);
    const bool tray = trayAvailable_.value_or(true);
    AlertPresenter::shared().present(NoticeTexts::firstRun(hotkeys_->offer(), tray));
    if (!tray)
        openSettings();
}
