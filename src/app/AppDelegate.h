#pragma once

#include "app/RemoteCommand.h"
#include "dictation/HotkeyManager.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class CorrectionSuggestions;
class DictationController;
class LearnWordFlow;
class OverlayHUD;
class PermissionsReport;
class QSystemTrayIcon;
class SignalWatcher;
class TranscribeFileFlow;
class TrayMenu;

// The tray application: its icon and menu, the wiring between the subsystems at start-up, the dialogs of
// the menu, and shutdown.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr int hotkeyRetryMs = 2000;
    // How often the app looks whether a tray host came or went.
    static constexpr int trayCheckMs = 2000;

    AppDelegate();
    ~AppDelegate() override;

    void start();
    void prepareToQuit();
    // The X server went away and the process is about to end without returning to the event loop: what
    // quitting does, short of touching the display.
    void displayLost();
    // A command of the command line or of a second start.
    void handleCommand(RemoteCommand::Kind command);

private:
    // Keeps what is unfinished and stops every child.
    void stopWork();
    void keepClipboard();
    void wireModelManager();
    void wireHotkeys();
    void armHotkeys();
    void followTray();
    void updateIcon();
    void openSettings();
    void menuToggleDictation();
    void showPermissions();
    void showAbout();
    void showFirstRunNotice();
    void offerDownloadAgain(const QString& modelID, const QString& reason);

    std::unique_ptr<DictationController> controller_;
    // Follows the controller's display.
    std::unique_ptr<OverlayHUD> panel_;
    // Uses the controller: declared after it, so that it goes first.
    std::unique_ptr<TranscribeFileFlow> transcribeFile_;
    std::unique_ptr<HotkeyManager> hotkeys_;
    QTimer hotkeyRetryTimer_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<SignalWatcher> sigtermSource_;
    std::unique_ptr<LearnWordFlow> learnWord_;
    std::unique_ptr<CorrectionSuggestions> suggestions_;
    std::unique_ptr<PermissionsReport> permissions_;
    QTimer trayWatch_;
    std::optional<bool> trayAvailable_;
    std::unique_ptr<TrayMenu> trayMenu_;
    // The first-run notice waits for the portal's answer.
    bool firstRunNoticeWaits_ = false;
};
