#include "engines/ChildServer.h"

#include "core/Log.h"
#include "engines/ChildProcess.h"
#include "platform/LoopbackPorts.h"
#include "platform/Processes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>

using Listener = LoopbackPorts::Listener;

ChildServer::ChildServer(QObject* parent) : QObject(parent) {}

ChildServer::~ChildServer()
{
    if (process_ && QCoreApplication::closingDown()) {
        // The application is going away and cannot host a lingering child any more.
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished();
        return;
    }
    release();
}

void ChildServer::start(Launch launch, Probe probe)
{
    stop();
    launch_ = std::move(launch);
    probe_ = std::move(probe);
    portAttempt_ = 0;
    spawn();
}

void ChildServer::stop()
{
    ++generation_;
    release();
    phase_ = Phase::stopped;
}

// One process per child server, and none started while another is being ended: two copies of a large model never
// share the memory, even for the few seconds an old one may take to exit.
void ChildServer::spawn()
{
    const quint64 generation = ++generation_;
    port_ = 0;
    socket_ = 0;
    if (phase_ != Phase::starting) {
        phase_ = Phase::starting;
        if (onStarting)
            onStarting();
    }
    ChildProcess::whenEnded(this, [this, generation] {
        if (generation == generation_)
            launch(generation);
    });
}

void ChildServer::launch(quint64 generation)
{
    port_ = launch_.listens ? freePort() : 0;
    auto* process = new QProcess(this);
    process->setProgram(launch_.program);
    process->setArguments(launch_.arguments(port_));
    if (!launch_.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(launch_.environment);
        process->setProcessEnvironment(environment);
    }
    if (launch_.logPath.isEmpty()) {
        // Nobody would read a pipe, and a full pipe would stall the child.
        process->setProcessChannelMode(launch_.listens ? QProcess::ForwardedChannels : QProcess::ForwardedErrorChannel);
    } else {
        process->setStandardErrorFile(launch_.logPath, QIODevice::Append);
        if (launch_.listens)
            process->setStandardOutputFile(launch_.logPath, QIODevice::Append);
    }
    connect(process, &QProcess::finished, this,
            [this, generation](int exitCode, QProcess::ExitStatus) { childExited(generation, exitCode); });
    connect(process, &QProcess::errorOccurred, this, [this, generation, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            launchFailed(generation, process->errorString());
    });
    if (launch_.killWithParent)
        Processes::killWithParent(*process);
    else
        Processes::endWithParent(*process);

    process_ = process;
    process->start();
    checkReady(generation, 0);
}

void ChildServer::release()
{
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
    port_ = 0;
    socket_ = 0;
}

void ChildServer::checkReady(quint64 generation, int attempt)
{
    if (generation != generation_ || !process_)
        return;
    if (launch_.listens && socket_ == 0) {
        const Listener listener = LoopbackPorts::listener(process_->processId(), port_);
        if (listener.kind == Listener::other) {
            portTaken(port_);
            return;
        }
        if (listener.kind == Listener::nobody) {
            probeLater(generation, attempt);
            return;
        }
        socket_ = listener.socket;
    }
    QPointer<ChildServer> self(this);
    probe_([self, generation, attempt](bool ready) {
        if (!self || generation != self->generation_)
            return;
        if (!ready) {
            self->probeLater(generation, attempt);
            return;
        }
        self->phase_ = Phase::ready;
        if (self->onReady)
            self->onReady();
    });
}

void ChildServer::probeLater(quint64 generation, int attempt)
{
    if (attempt + 1 >= timing_.probeCount) {
        // A child that never became ready may still be loading gigabytes: it goes too.
        fail({Failure::silent, 0, {}});
        return;
    }
    QTimer::singleShot(timing_.probePauseMs, this,
                       [this, generation, attempt] { checkReady(generation, attempt + 1); });
}

void ChildServer::portTaken(quint16 port)
{
    ++generation_;
    release();
    if (++portAttempt_ >= timing_.portAttempts) {
        Log::info(QStringLiteral("%1: порт %2 занят чужой программой").arg(launch_.name).arg(port));
        phase_ = Phase::stopped;
        if (onFailure)
            onFailure({Failure::portTaken, 0, {}});
        return;
    }
    Log::info(QStringLiteral("%1: порт %2 занят чужой программой, запуск на другом").arg(launch_.name).arg(port));
    spawn();
}

void ChildServer::childExited(quint64 generation, int exitCode)
{
    if (generation != generation_)
        return;
    const quint16 port = port_;
    ++generation_;
    release();
    // Someone listening on the port now took it before the child could listen, or as soon as it died.
    if (launch_.listens && LoopbackPorts::listener(0, port).kind != Listener::nobody) {
        portTaken(port);
        return;
    }
    phase_ = Phase::stopped;
    if (onFailure)
        onFailure({Failure::exited, exitCode, {}});
}

void ChildServer::launchFailed(quint64 generation, const QString& description)
{
    if (generation != generation_ || !process_)
        return;
    fail({Failure::launchFailed, 0, description});
}

void ChildServer::fail(const Failure& failure)
{
    ++generation_;
    release();
    phase_ = Phase::stopped;
    if (onFailure)
        onFailure(failure);
}

void ChildServer::send(LoopbackHttp::Request request, LoopbackHttp::Callback callback)
{
    if (!process_ || socket_ == 0) {
        callback(notRunning());
        return;
    }
    const Listener own{Listener::process, socket_};
    const qint64 pid = process_->processId();
    request.peerCheck = [pid, port = port_, own] { return LoopbackPorts::listener(pid, port) == own; };
    // A server that sends nothing before its answer is complete is still working while it keeps a quarter of a
    // processor busy or more; a hung one, like an idle one, uses next to none.
    QElapsedTimer since;
    since.start();
    request.stillWorking = [pid, used = Processes::cpuTimeMs(pid), since]() mutable {
        const qint64 now = Processes::cpuTimeMs(pid);
        const bool working = now > used && (now - used) * 4 >= since.restart();
        used = now;
        return working;
    };
    LoopbackHttp::send(this, port_, request,
                       [this, generation = generation_, port = port_,
                        callback = std::move(callback)](const Result<LoopbackHttp::Answer>& answer) {
                           // The child has lost its port, most likely to someone who saw it die first.
                           if (!answer && answer.error() == LoopbackHttp::peerRefused() && generation == generation_)
                               portTaken(port);
                           callback(answer);
                       });
}

Error ChildServer::notRunning()
{
    return Error::tolvan(10, QStringLiteral("сервер не запущен"));
}

quint16 ChildServer::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return fallbackPort;
    const quint16 port = probe.serverPort();
    probe.close();
    return port != 0 ? port : fallbackPort;
}

void ChildServer::endStrays(const QString& program, const QString& report)
{
    if (const int ended = Processes::terminateInstances(program))
        Log::info(report.arg(ended));
}
