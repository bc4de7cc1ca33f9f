#include "platform/LoopbackPorts.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <unistd.h>

namespace
{

constexpr const char* listenState = "0A";

// The inodes of the sockets in one of the kernel's tables that listen on `port`. A line reads
// "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode …", addresses as
// hexadecimal ADDRESS:PORT.
void addListeners(const char* table, quint16 port, QList<quint64>& inodes)
{
    QFile file(QString::fromLatin1(table));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const QList<QByteArray> fields = lines.at(index).simplified().split(' ');
        if (fields.size() < 10 || fields.at(3) != listenState)
            continue;
        const QByteArray& local = fields.at(1);
        bool portOk = false;
        const uint localPort = local.mid(local.lastIndexOf(':') + 1).toUInt(&portOk, 16);
        if (portOk && localPort == port)
            inodes.append(fields.at(9).toULongLong());
    }
}

// The inodes of the sockets among the process's open files ("socket:[INODE]" links in /proc/PID/fd).
QSet<quint64> socketsOf(qint64 pid)
{
    QSet<quint64> sockets;
    if (pid <= 0)
        return sockets;
    const QByteArray directory = "/proc/" + QByteArray::number(pid) + "/fd";
    DIR* files = ::opendir(directory.constData());
    if (!files)
        return sockets;
    while (const dirent* entry = ::readdir(files)) {
        const QByteArray link = directory + '/' + entry->d_name;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target);
        const QByteArray name(target, std::max<ssize_t>(length, 0));
        if (name.startsWith("socket:[") && name.endsWith(']'))
            sockets.insert(name.mid(8, name.size() - 9).toULongLong());
    }
    ::closedir(files);
    return sockets;
}

} // namespace

namespace LoopbackPorts
{

Listener listener(qint64 pid, quint16 port)
{
    QList<quint64> listening;
    addListeners("/proc/net/tcp", port, listening);
    addListeners("/proc/net/tcp6", port, listening);
    if (listening.isEmpty())
        return {};
    const QSet<quint64> own = socketsOf(pid);
    if (std::any_of(listening.begin(), listening.end(), [&](quint64 inode) { return !own.contains(inode); }))
        return {Listener::other, 0};
    return {Listener::process, *std::min_element(listening.begin(), listening.end())};
}

} // namespace LoopbackPorts
