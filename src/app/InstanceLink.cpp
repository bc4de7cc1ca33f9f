#include "app/InstanceLink.h"

#include "core/Log.h"
#include "platform/FileLock.h"
#include "platform/PrivateDirectory.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace InstanceLink
{

QString socketPath()
{
    const QString folder = PrivateDirectory::socketFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/instance");
}

// Without a runtime folder the lock never lives in the shared temporary directory: a name there can belong to
// another user now and be free again later, which would let a second copy lock elsewhere.
QString lockFolder()
{
    const QString runtime = PrivateDirectory::sessionRuntimeFolder();
    return runtime.isEmpty() ? PrivateDirectory::stateFolder() : runtime;
}

QString lockPath()
{
    const QString folder = PrivateDirectory::firstPrivate({lockFolder()});
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/instance.lock");
}

bool send(RemoteCommand::Kind command)
{
    const QString path = socketPath();
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    socket.write(RemoteCommand::name(command) + '\n');
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerTimeoutMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

} // namespace InstanceLink

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer()
{
    // The socket goes while the lock is still held: a copy starting now must not have its new socket removed.
    server_->close();
}

InstanceServer::Claim InstanceServer::claim(int waitMs)
{
    const QString lock = InstanceLink::lockPath();
    if (lock.isEmpty())
        return Claim::noLock;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        lock_ = FileLock::take(lock);
        if (lock_)
            return listen(InstanceLink::socketPath()) ? Claim::listening : Claim::unreachable;
        // The other copy may have taken the lock a moment ago and not be listening yet.
        if (InstanceLink::send(RemoteCommand::Kind::show))
            return Claim::otherShown;
        if (deadline.hasExpired())
            return Claim::otherSilent;
        QThread::msleep(retryPauseMs);
    }
}

bool InstanceServer::listen(const QString& path)
{
    if (path.isEmpty()) {
        Log::info(QStringLiteral("Нет личной папки для сокета управления: команды --toggle, --finish и --cancel не "
                                 "дойдут"));
        return false;
    }
    // Whatever is there was left by a copy that no longer holds the lock.
    QLocalServer::removeServer(path);
    if (server_->listen(path))
        return true;
    Log::info(QStringLiteral("Сокет управления недоступен: ") + server_->errorString());
    return false;
}

void InstanceServer::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            // A command is one short line: whatever sends more without a line feed is not one of ours.
            if (!socket->canReadLine() && socket->bytesAvailable() <= maxCommandBytes)
                return;
            const std::optional<RemoteCommand::Kind> command =
                RemoteCommand::named(socket->readLine(maxCommandBytes).trimmed());
            socket->write(command ? "ok\n" : "unknown\n");
            socket->disconnectFromServer();
            // Answered first: a command may open a dialog that waits for the user.
            if (command)
                QTimer::singleShot(0, this, [this, kind = *command] {
                    if (onCommand)
                        onCommand(kind);
                });
        });
    }
}
