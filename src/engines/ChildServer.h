#pragma once

#include "core/Error.h"
#include "engines/LoopbackHttp.h"

#include <QObject>
#include <QPointer>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;

// The life of one child program that serves the app: started, probed until it is usable, started again on
// another port when its port is someone else's, and ended (SIGTERM, then SIGKILL after the grace period).
//
// A server child listens on a TCP port of 127.0.0.1 chosen afresh at each start and named on its command line,
// which every local user can read in /proc; one of them may listen there first, before the child has loaded
// its model, or after the child has died. So the port counts only while the listening socket is one of the
// child's own open files, and send() talks to nothing else. A child without a port (one that talks over its
// standard input and output) uses the same start, restart, end and strays.
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
        // Starts on fresh ports, in all, while someone else takes the port.
        int portAttempts = 3;
    };

    struct Launch
    {
        // The program's name in the log.
        QString name;
        QString program;
        // The command line for a port (0 for a child without one).
        std::function<QStringList(quint16 port)> arguments;
        // Added to the app's environment: where the child takes secrets from (only this user can read
        // /proc/PID/environ, unlike the command line).
        QProcessEnvironment environment;
        // Standard error, and standard output of a server, are appended here; with none they go where the app's go.
        QString logPath;
        // Without a port, standard input and output stay with the owner (process()).
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
            // Every port tried was someone else's.
            portTaken,
        };
        Kind kind = silent;
        int exitCode = 0;
        // For launchFailed: the system's description.
        QString description;
    };

    // Asked once the child listens on its own port (without one: once it runs), and again after every pause
    // until it says yes: `answer(true)` when the child is usable, `answer(false)` while it is not yet.
    using Probe = std::function<void(std::function<void(bool)> answer)>;

    explicit ChildServer(QObject* parent = nullptr);
    ~ChildServer() override;

    // Told when a child starts while none was starting (not when one is started again on another port during
    // the start), when it is ready, and when it failed (the child is gone then).
    std::function<void()> onStarting;
    std::function<void()> onReady;
    std::function<void(const Failure&)> onFailure;

    void setTiming(const Timing& timing) { timing_ = timing; }
    const Timing& timing() const { return timing_; }

    // Ends a running child, then starts this one.
    void start(Launch launch, Probe probe);
    // Ends the child without telling anyone.
    void stop();

    bool isStarting() const { return phase_ == Phase::starting; }
    bool isReady() const { return phase_ == Phase::ready; }
    // The child's port; 0 without a child.
    quint16 port() const { return port_; }
    // Counts starts and stops; tests read it.
    quint64 generation() const { return generation_; }
    // The running child, for one that talks over its standard input and output.
    QProcess* process() const { return process_; }

    // Sends a request to the child's port over a connection that is used only if the port's listening socket is
    // still the one the child was found listening on; otherwise the callback gets LoopbackHttp::peerRefused() and
    // the child is started again on another port. The wait for more data is renewed while the child keeps at
    // least a quarter of a processor busy. Before that socket is known (no child, or still loading) the
    // callback gets notRunning() at once.
    void send(LoopbackHttp::Request request, LoopbackHttp::Callback callback);

    static Error notRunning();
    // A TCP port on 127.0.0.1 that was free a moment ago, or the fallback port.
    static quint16 freePort();
    static constexpr quint16 fallbackPort = 8917;
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
    void portTaken(quint16 port);
    void childExited(quint64 generation, int exitCode);
    void launchFailed(quint64 generation, const QString& description);
    void fail(const Failure& failure);

    Timing timing_;
    Launch launch_;
    Probe probe_;
    Phase phase_ = Phase::stopped;
    QPointer<QProcess> process_;
    quint16 port_ = 0;
    // The inode of the child's listening socket once the child has been found listening; 0 before.
    quint64 socket_ = 0;
    int portAttempt_ = 0;
    quint64 generation_ = 0;
};
