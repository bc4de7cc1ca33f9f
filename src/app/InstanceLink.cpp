#include "app/InstanceLink.h"

#include "core/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/stat.h>

#include <unistd.h>

namespace
{

// Ours, a directory, and closed to everybody else; created so when missing.
bool privateDirectory(const QString& path)
{
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    struct stat status
    {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::getuid() && (status.st_mode & 0077) == 0;
}

QString socketDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/tolvan");
    return QDir::tempPath() + QStringLiteral("/tolvan-%1").arg(::getuid());
}

} // namespace

namespace InstanceLink
{

QString socketPath()
{
    const QString directory = socketDirectory();
    if (!privateDirectory(directory))
        return {};
    return directory + QStringLiteral("/instance");
}

bool send(const QByteArray& command)
{
    const QString path = socketPath();
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    socket.write(command + '\n');
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

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen()
{
    const QString path = InstanceLink::socketPath();
    if (path.isEmpty()) {
        Log::info(QStringLiteral("Нет личной папки для сокета управления: ") + socketDirectory());
        return false;
    }
    // Asked first: listening would replace the socket of a running instance.
    if (InstanceLink::send("ping"))
        return false;
    // Nobody answers: a socket there is what a crashed run left behind.
    QLocalServer::removeServer(path);
    return server_->listen(path);
}

void InstanceServer::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray command = socket->readLine().trimmed();
            const bool known = command == "ping" || (onCommand && onCommand(command));
            socket->write(known ? "ok\n" : "unknown\n");
            socket->disconnectFromServer();
        });
    }
}
