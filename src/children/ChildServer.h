#pragma once

#include "children/LocalHttp.h"
#include "core/Error.h"

#include <QObject>
#include <QPointer>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;

// The life of one child program that serves the app: started, probed until it is usable, and ended (SIGTERM, then
// SIGKILL after the grace period).
//
// A server child listens on a Unix socket in the user's private runtime folder (0700), so no other user and no web
// page can reach it, nor listen in its place. A child without a socket (one that talks over its standard input and
// output) uses the same start, restart, end and strays.
//
// Lives on the thread that creates it; every callback runs there. Callbacks of a start that a newer start or
// a stop has replaced are dropped.
class ChildServer : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        int probeTimeoutMs = 2000;
        int probePauseMs = 300;
        // How many times readiness is checked before the child counts as not answering: a minute at the pause above.
        int probeCount = 200;
        int terminationGraceMs = 3000;
    };

    struct Launch
    {
        // The program's name in the log.
        QString name;
        QString program;
        // The command line for the path of the socket to listen on (empty for a child without one).
        std::function<QStringList(const QString& socketPath)> arguments;
        // Added to the app's environment: where the child takes secrets from (only this user can read
        // /proc/PID/environ, unlike the command line).
        QProcessEnvironment environment;
        // Standard error, and standard output of a server, are appended here; with none they go where the app's go.
        QString logPath;
        // Without a socket, standard input and output stay with the owner (process()).
        bool listens = true;
        // SIGKILL instead of SIGTERM when the app dies, for a program that may ignore SIGTERM and has nothing to save.
        bool killWithParent = false;
    };

    struct Failure
    {
        enum Kind
        {
            // Never became ready in time; it has been ended.
            silent,
            exited,
            launchFailed,
            // Answered more than any answer may hold; it has been ended.
            overflowed,
        };
        Kind kind = silent;
        int exitCode = 0;
        // For launchFailed: the system's description.
        QString description;
    };

    // Asked once the child's socket is there (without one: once it runs), and again after every pause
    // until it says yes: `answer(true)` when the child is usable, `answer(false)` while it is not yet.
    using Probe = std::function<void(std::function<void(bool)> answer)>;

    explicit ChildServer(QObject* parent = nullptr);
    ~ChildServer() override;

    // Told when a child starts while none was starting, when it is ready, and when it failed (the child is gone
    // then).
    std::function<void()> onStarting;
    std::function<void()> onReady;
    std::function<void(const Failure&)> onFailure;

    void setTiming(const Timing& timing) { timing_ = timing; }
    const Timing& timing() const { return timing_; }

    // Ends a running child, then starts this one.
    void start(Launch launch, Probe probe);
    // Ends the child without telling anyone.
    void stop();
    // Ends the child as failed (onFailure), e.g. when it misbehaves in a way only its owner sees.
    void fail(const Failure& failure);

    bool isStarting() const { return phase_ == Phase::starting; }
    bool isReady() const { return phase_ == Phase::ready; }
    // The socket the child listens on; empty without a child.
    const QString& socketPath() const { return socketPath_; }
    // Counts starts and stops; tests read it.
    quint64 generation() const { return generation_; }
    // The running child, for one that talks over its standard input and output.
    QProcess* process() const { return process_; }

    // Sends a request to the child's socket. The wait for more data is renewed while the child keeps at least a
    // quarter of a processor busy. Before the socket is there (no child, or still loading) the callback gets
    // notRunning() at once. A child whose answer is larger than the request allows is ended as overflowed.
    void send(LocalHttp::Request request, LocalHttp::Callback callback);

    static Error notRunning();
    // Where a child listens: "<private runtime folder>/<name>.sock"; empty when there is no private folder.
    static QString socketPathFor(const QString& name);
    // Ends what an earlier run left behind: every process of this user running this program file. `report` is
    // logged with the count (%1) when there were any.
    static void endStrays(const QString& program, const QString& report);

private:
    enum class Phase
    {
        stopped,
        starting,
        ready,
    };

    void spawn();
    void launch(quint64 generation);
    // Lets go of the child, if any; the phase stays as it was.
    void release();
    void checkReady(quint64 generation, int attempt);
    void probeLater(quint64 generation, int attempt);
    void childExited(quint64 generation, int exitCode);
    void launchFailed(quint64 generation, const QString& description);

    Timing timing_;
    Launch launch_;
    Probe probe_;
    Phase phase_ = Phase::stopped;
    QPointer<QProcess> process_;
    QString socketPath_;
    // Whether the child's socket has appeared.
    bool listening_ = false;
    quint64 generation_ = 0;
};
