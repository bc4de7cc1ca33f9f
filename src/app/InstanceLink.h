#pragma once

#include "app/RemoteCommand.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class FileLock;
class QLocalServer;

// The running application's local socket, through which a second start and the command-line control
// (`tolvan --toggle`, `--finish`, `--cancel`) reach it. The socket lives in a directory only this user may
// enter ($XDG_RUNTIME_DIR/tolvan; without it /tmp/tolvan-<uid>, or a private folder in the state folder when
// another user has taken that name), so no other local user can start a recording. One line per connection: the
// command, then "ok" or "unknown" back.
namespace InstanceLink
{
constexpr int answerTimeoutMs = 3000;

// Where the socket is; the directory is created private when missing. Empty when no private directory
// can be had (it exists and belongs to someone else, or is open to others).
QString socketPath();
// Where the lock that makes one copy the running one lives: $XDG_RUNTIME_DIR/tolvan, or without it a folder in
// the state folder, never the shared temporary directory.
QString lockFolder();
// The lock file in that folder, which is created private when missing. Empty when it is not private.
QString lockPath();
// Hands the command to the running application; true when it took it.
bool send(RemoteCommand::Kind command);
} // namespace InstanceLink

// The listening end, in the running application. Which copy is the running one is decided by a lock on a
// file beside the socket, held for the life of the process: only its holder listens, so only its holder
// ever replaces or removes the socket.
class InstanceServer : public QObject
{
    Q_OBJECT

public:
    enum class Claim
    {
        // This copy is the running one and listens.
        listening,
        // Another copy runs and took the request to show its settings.
        otherShown,
        // Another copy holds the lock but never answered.
        otherSilent,
        // This copy is the running one, but without a socket: the commands cannot reach it.
        unreachable,
        // No private place for the lock: this copy could not tell whether another runs, and must not start.
        noLock,
    };
    static constexpr int otherWaitMs = 10000;
    static constexpr int retryPauseMs = 100;
    static constexpr qint64 maxCommandBytes = 64;

    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Becomes the running copy: takes the lock and listens, in place of a socket that a crashed run left
    // behind. While another copy holds the lock it is asked to show its settings instead, again until it
    // answers, or quits (and this copy takes over), for at most waitMs.
    Claim claim(int waitMs = otherWaitMs);

    // A known command arrived; it is answered once this returns.
    std::function<void(RemoteCommand::Kind command)> onCommand;

private:
    bool listen(const QString& path);
    void accept();

    std::unique_ptr<FileLock> lock_;
    QLocalServer* server_;
};
