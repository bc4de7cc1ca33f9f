#include "platform/gnome/GnomeRemoteSession.h"

#include "core/Log.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QStringList>

#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace
{

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
constexpr int callTimeoutMs = 1000;

QDBusMessage methodCall(const QString& path, const QString& interface, const QString& method,
                        const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return message;
}

bool isUnanswered(const QDBusMessage& reply)
{
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}

void logFailure(const QDBusMessage& reply, const QString& what)
{
    Log::info(QStringLiteral("Удалённое управление GNOME: %1 не удалось: %2").arg(what, reply.errorMessage()));
}

// Everything the other end writes until it closes, for at most timeoutMs.
QByteArray readToEnd(int descriptor, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray data;
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd readable{descriptor, POLLIN, 0};
        if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) <= 0)
            return data;
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count <= 0)
            return data;
        data.append(buffer, count);
    }
}

} // namespace

GnomeRemoteSession::GnomeRemoteSession()
{
    const QDBusMessage created = QDBusConnection::sessionBus().call(
        methodCall(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), service, QStringLiteral("CreateSession"), {}),
        QDBus::Block, callTimeoutMs);
    if (created.type() == QDBusMessage::ErrorMessage || created.arguments().isEmpty()) {
        // A session mutter made after all was never started: it ends with our connection to the bus.
        logFailure(created, QStringLiteral("создание сеанса"));
        return;
    }
    path_ = created.arguments().constFirst().value<QDBusObjectPath>().path();
}

GnomeRemoteSession::~GnomeRemoteSession()
{
    if (!path_.isEmpty())
        stop();
}

GnomeRemoteSession::Reply GnomeRemoteSession::start()
{
    const Reply reply = call(QStringLiteral("Start"), {}, QStringLiteral("запуск сеанса"));
    started_ = reply != Reply::refused;
    if (reply == Reply::done)
        Log::info(QStringLiteral("Сеанс удалённого управления GNOME открыт: ") + path_);
    return reply;
}

bool GnomeRemoteSession::shareClipboard()
{
    return call(QStringLiteral("EnableClipboard"), {QVariantMap()}, QStringLiteral("доступ к буферу обмена")) ==
           Reply::done;
}

std::optional<QString> GnomeRemoteSession::nativeClipboardText(int timeoutMs)
{
    if (givenUp_)
        return std::nullopt;
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(methodCall(path_, sessionInterface, QStringLiteral("SelectionRead"),
                                                      {QStringLiteral("text/plain;charset=utf-8")}),
                                           QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
        givenUp_ = isUnanswered(reply);
        return std::nullopt;
    }
    const auto descriptor = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    return QString::fromUtf8(readToEnd(descriptor.fileDescriptor(), timeoutMs));
}

GnomeRemoteSession::Reply GnomeRemoteSession::key(quint32 key, bool byKeysym, bool pressed)
{
    const QString method = byKeysym ? QStringLiteral("NotifyKeyboardKeysym") : QStringLiteral("NotifyKeyboardKeycode");
    return call(method, {key, pressed},
                pressed ? QStringLiteral("нажатие клавиши") : QStringLiteral("отпускание клавиши"));
}

GnomeRemoteSession::Reply GnomeRemoteSession::call(const QString& method, const QVariantList& arguments,
                                                   const QString& what)
{
    const QDBusMessage message = methodCall(path_, sessionInterface, method, arguments);
    if (givenUp_) {
        QDBusConnection::sessionBus().send(message);
        return Reply::none;
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return Reply::done;
    logFailure(reply, what);
    if (!isUnanswered(reply))
        return Reply::refused;
    givenUp_ = true;
    return Reply::none;
}

void GnomeRemoteSession::stop()
{
    if (!started_)
        return;
    const bool givenUp = givenUp_;
    QDBusMessage message = methodCall(path_, sessionInterface, QStringLiteral("Stop"), {});
    if (givenUp) {
        QDBusConnection::sessionBus().send(message);
        Log::info(QStringLiteral("Сеанс удалённого управления GNOME оставлен: mutter не ответил вовремя, ему "
                                 "отправлены отпускание клавиш и остановка"));
        return;
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ErrorMessage) {
        Log::info(QStringLiteral("Сеанс удалённого управления GNOME остановлен"));
        return;
    }
    logFailure(reply, QStringLiteral("остановка сеанса"));
    // mutter's own refusals: the session is no longer running, or no longer there.
    static const QStringList stopped{QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                     QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                     QStringLiteral("org.freedesktop.DBus.Error.UnknownObject")};
    if (stopped.contains(reply.errorName()) && onStoppedElsewhere)
        onStoppedElsewhere();
}
