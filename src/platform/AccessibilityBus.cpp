#include "platform/AccessibilityBus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace AccessibilityBus
{
namespace
{

const QString registry = QStringLiteral("org.a11y.atspi.Registry");
const QString registryPath = QStringLiteral("/org/a11y/atspi/registry");

QDBusMessage toRegistry(const QString& method, const QString& event)
{
    QDBusMessage message = QDBusMessage::createMethodCall(registry, registryPath, registry, method);
    message.setArguments(method == QLatin1String("RegisterEvent") ? QVariantList{event, QStringList(), QString()}
                                                                  : QVariantList{event});
    return message;
}

} // namespace

std::optional<QString> connect(const QString& connectionName, const QStringList& events,
                               const std::function<void(QDBusConnection&)>& listen)
{
    const QDBusMessage address = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
        QDBus::Block, callTimeoutMs);
    if (address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty())
        return QStringLiteral("шина специальных возможностей недоступна: ") + address.errorMessage();
    QDBusConnection bus = QDBusConnection::connectToBus(address.arguments().constFirst().toString(), connectionName);
    if (!bus.isConnected()) {
        const QString problem = bus.lastError().message();
        QDBusConnection::disconnectFromBus(connectionName);
        return QStringLiteral("нет связи с шиной специальных возможностей: ") + problem;
    }
    listen(bus);
    for (const QString& event : events) {
        const QDBusMessage registered =
            bus.call(toRegistry(QStringLiteral("RegisterEvent"), event), QDBus::Block, callTimeoutMs);
        if (registered.type() != QDBusMessage::ReplyMessage) {
            QDBusConnection::disconnectFromBus(connectionName);
            return QStringLiteral("шина специальных возможностей не приняла подписку: ") + registered.errorMessage();
        }
    }
    return std::nullopt;
}

void disconnect(const QString& connectionName, const QStringList& events)
{
    stopAskingFor(connectionName, events);
    QDBusConnection::disconnectFromBus(connectionName);
}

void askFor(const QString& connectionName, const QStringList& events, QObject* context, std::function<void()> asked)
{
    QDBusConnection bus(connectionName);
    QDBusPendingCall last = QDBusPendingCall::fromCompletedCall(QDBusMessage());
    for (const QString& event : events)
        last = bus.asyncCall(toRegistry(QStringLiteral("RegisterEvent"), event), callTimeoutMs);
    // The registry answers in order: its last answer comes after the others.
    auto* watcher = new QDBusPendingCallWatcher(last, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, asked = std::move(asked)] {
        watcher->deleteLater();
        asked();
    });
}

void stopAskingFor(const QString& connectionName, const QStringList& events)
{
    QDBusConnection bus(connectionName);
    for (const QString& event : events)
        bus.call(toRegistry(QStringLiteral("DeregisterEvent"), event), QDBus::NoBlock);
}

} // namespace AccessibilityBus
