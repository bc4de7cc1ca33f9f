#include "platform/TrayHost.h"

#include "platform/SelectionOwner.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace
{

// The watcher that StatusNotifierItem hosts register with: Plasma's runs in kded, GNOME's in the shell.
bool statusNotifierWatcherRuns()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    return daemon && daemon->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

} // namespace

namespace TrayHost
{

bool available()
{
    return statusNotifierWatcherRuns() || SelectionOwner::trayRuns();
}

} // namespace TrayHost
