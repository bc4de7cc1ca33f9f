#pragma once

#include "app/RemoteCommand.h"
#include "platform/ActiveWindow.h"

#include <QMenu>
#include <QObject>
#include <QTimer>

#include <memory>

class DictationController;
class HotkeyManager;
class QSystemTrayIcon;
class SignalWatcher;

// The tray application: its icon and menu, the wiring between the subsystems at start-up, the dialogs of
// the menu, and shutdown.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr int hotkeyRetryMs = 2000;
    static constexpr int copyWaitMs = 300;
    static constexpr int pasteAfterLearnMs = 400;
    static constexpr int longestLearnedWord = 60;

    AppDelegate();
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // The X server went away and the process is about to end without returning to the event loop: what
    // quitting does, short of touching the display.
    void displayLost();
    // A command of the command line or of a second start.
    void handleCommand(RemoteCommand::Kind command);

private:
    // Keeps what is unfinished and stops every child.
    void stopWork();
    void wireModelManager();
    void wireHotkeys();
    void armHotkeys();
    void updateIcon();
    void menuNeedsUpdate();
    void addHistoryMenu();
    void addUpdateItem();
    QString statusLine() const;
    void openSettings();
    void menuToggleDictation();
    void learnFromSelection();
    void showLearnDialog(const QString& heard, ActiveWindow::WindowId prevApp);
    void showPermissions();
    void showAbout();
    void showFirstRunNotice();

    std::unique_ptr<DictationController> controller_;
    std::unique_ptr<HotkeyManager> hotkeys_;
    QTimer axPollTimer_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<SignalWatcher> sigtermSource_;
    QMenu menu_;
    // Bumped whenever the clipboard changes: the "change count" that tells a copy happened.
    quint64 clipboardChanges_ = 0;
    // The permissions window waits for the microphone check; a second click meanwhile does nothing.
    bool checkingMicrophone_ = false;
};
