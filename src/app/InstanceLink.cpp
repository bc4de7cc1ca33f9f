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

namespace
{

QString socketDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/tolvan");
    return PrivateDirectory::inTemporaryDirectory(QStringLiteral("tolvan"));
}

QString lockPath(const QString& socket)
{
    return socket + QStringLiteral(".lock");
}

} // namespace

namespace InstanceLink
{

QString socketPath()
{
    const QString directory = socketDirectory();
    if (!PrivateDirectory::ensure(directory))
        return {};
    return directory + QStringLiteral("/instance");
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
    const QString path = InstanceLink::socketPath();
    if (path.isEmpty()) {
        Log::info(QStringLiteral("Нет личной папки для сокета управления: ") + socketDirectory());
        return Claim::unreachable;
    }
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        lock_ = FileLock::take(lockPath(path));
        if (lock_)
            return listen(path) ? Claim::listening : Claim::unreachable;
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
            if (!socket->canReadLine())
                return;
            const std::optional<RemoteCommand::Kind> command = RemoteCommand::named(socket->readLine().trimmed());
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
