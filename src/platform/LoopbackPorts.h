#pragma once

#include <QtGlobal>

// Who listens on a TCP port of this machine, from the kernel's socket diagnostics (or its tables /proc/net/tcp and
// tcp6 where those cannot be asked) and the open files of a process. Any local user can read the port a child server is
// told on its command line and listen on it first; this tells the child's own listening socket from anyone else's.
namespace LoopbackPorts
{
struct Listener
{
    enum Kind
    {
        nobody,
        // Only sockets of the process asked about; `socket` is the lowest of their inodes.
        process,
        // A socket that is not the process's, alone or beside the process's own.
        other,
    };
    Kind kind = nobody;
    quint64 socket = 0;

    bool operator==(const Listener&) const = default;
};

// Who listens on `port` on any local address, IPv4 or IPv6 (a listener on another loopback address would not
// get our connections, but nobody else's socket on that port is trusted). `pid` owns the sockets that count as
// the process's; 0 counts none.
Listener listener(qint64 pid, quint16 port);
} // namespace LoopbackPorts
