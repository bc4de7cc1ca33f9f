#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QDBusConnection;
class QObject;

// The session's accessibility bus (AT-SPI), where programs report their windows and text fields.
namespace AccessibilityBus
{
inline constexpr int callTimeoutMs = 1000;

// Connects to it under `connectionName`, lets `listen` connect the signals wanted, then asks the programs for these
// events (they send only those someone asked the registry for). Blocks on the session bus and the accessibility
// bus: call it off the main thread. What went wrong, for the log; nothing once connected.
std::optional<QString> connect(const QString& connectionName, const QStringList& events,
                               const std::function<void(QDBusConnection&)>& listen);
// Lets go of the connection and of the events asked for under it. Returns at once.
void disconnect(const QString& connectionName, const QStringList& events);
// Asks the programs for these events too, on a connection made by connect(); `asked` runs on `context`'s thread once
// the registry has answered, when every program has been told (the registry tells them before it answers).
void askFor(const QString& connectionName, const QStringList& events, QObject* context, std::function<void()> asked);
// No longer asks for them. Returns at once.
void stopAskingFor(const QString& connectionName, const QStringList& events);
} // namespace AccessibilityBus
