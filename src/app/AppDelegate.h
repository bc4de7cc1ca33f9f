#pragma once

#include <QMenu>
#include <QObject>
#include <QTimer>

#include <memory>

class DictationController;
class HotkeyManager;
class QSystemTrayIcon;
class SignalWatcher;

// The tray application: its icon and menu, the wiring between the subsystems at start-up, and shutdown.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr int hotkeyRetryMs = 2000;

    AppDelegate();
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    void wireModelManager();
    void wireHotkeys();
    void armHotkeys();
    void updateIcon();
    void menuNeedsUpdate();
    void menuToggleDictation();

    std::unique_ptr<DictationController> controller_;
    std::unique_ptr<HotkeyManager> hotkeys_;
    QTimer axPollTimer_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<SignalWatcher> sigtermSource_;
    QMenu menu_;
};
