#include "platform/LoopbackPorts.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <unistd.h>

namespace
{

// Asks the kernel's socket diagnostics (what `ss` uses) for the family's listening TCP sockets and adds the
// inodes of those on `port`. Only the table of listening sockets is walked, not the connections. False when
// the kernel does not answer (no sock_diag support); nothing is added then.
bool askKernel(int family, quint16 port, QList<quint64>& inodes)
{
    const int channel = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (channel < 0)
        return false;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = static_cast<__u8>(family);
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = 1U << TCP_LISTEN;
    QList<quint64> found;
    bool complete = ::send(channel, &query, sizeof query, 0) == static_cast<ssize_t>(sizeof query);
    bool done = false;
    while (complete && !done) {
        alignas(nlmsghdr) char buffer[16384];
        ssize_t length = ::recv(channel, buffer, sizeof buffer, 0);
        complete = length > 0;
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); complete && NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_type == NLMSG_DONE) {
                done = true;
                break;
            }
            complete = message->nlmsg_type != NLMSG_ERROR;
            const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
            if (complete && ntohs(socket->id.idiag_sport) == port)
                found.append(socket->idiag_inode);
        }
    }
    ::close(channel);
    if (complete)
        inodes += found;
    return complete;
}

// The same from the kernel's text table (/proc/net/tcp or tcp6), which lists every connection as well. A line
// reads "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode …",
// addresses as hexadecimal ADDRESS:PORT, state 0A for listening.
void readTable(const char* table, quint16 port, QList<quint64>& inodes)
{
    QFile file(QString::fromLatin1(table));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const QList<QByteArray> fields = lines.at(index).simplified().split(' ');
        if (fields.size() < 10 || fields.at(3) != "0A")
            continue;
        const QByteArray& local = fields.at(1);
        bool portOk = false;
        const uint localPort = local.mid(local.lastIndexOf(':') + 1).toUInt(&portOk, 16);
        if (portOk && localPort == port)
            inodes.append(fields.at(9).toULongLong());
    }
}

void addListeners(int family, const char* table, quint16 port, QList<quint64>& inodes)
{
    if (!askKernel(family, port, inodes))
        readTable(table, port, inodes);
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
    addListeners(AF_INET, "/proc/net/tcp", port, listening);
    addListeners(AF_INET6, "/proc/net/tcp6", port, listening);
    if (listening.isEmpty())
        return {};
    const QSet<quint64> own = socketsOf(pid);
    if (std::any_of(listening.begin(), listening.end(), [&](quint64 inode) { return !own.contains(inode); }))
        return {Listener::other, 0};
    return {Listener::process, *std::min_element(listening.begin(), listening.end())};
}

} // namespace LoopbackPorts
