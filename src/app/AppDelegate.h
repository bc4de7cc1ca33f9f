#pragma once

#include <QMenu>
#include <QObject>

#include <memory>

class QSystemTrayIcon;
class SignalWatcher;

// The tray application: its icon and menu, start-up and shutdown.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate();
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    void menuNeedsUpdate();

    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<SignalWatcher> sigtermSource_;
    QMenu menu_;
};
