#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// The running application's local socket, through which a second start and the command-line control
// (`tolvan --toggle`, `--finish`, `--cancel`) reach it. The socket lives in a directory only this user may
// enter ($XDG_RUNTIME_DIR/tolvan, or a private folder under the temporary directory), so no other local
// user can start a recording. One line per connection: the command, then "ok" or "unknown" back.
namespace InstanceLink
{
constexpr int answerTimeoutMs = 3000;

// Where the socket is; the directory is created private when missing. Empty when no private directory
// can be had (it exists and belongs to someone else, or is open to others).
QString socketPath();
// Hands the command to the running application; true when it took it.
bool send(const QByteArray& command);
} // namespace InstanceLink

// The listening end, in the running application.
class InstanceServer : public QObject
{
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Starts listening, taking over a socket that a crashed run left behind. False when another
    // instance answers on it, or no private place for the socket exists.
    bool listen();

    // A command arrived; true when it is known (and was carried out).
    std::function<bool(const QByteArray& command)> onCommand;

private:
    void accept();

    QLocalServer* server_;
};
