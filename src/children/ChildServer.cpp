#include "children/ChildServer.h"

#include "children/ChildProcess.h"
#include "core/Log.h"
#include "platform/PrivateDirectory.h"
#include "platform/Processes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace
{

// sockaddr_un's sun_path, with its terminating zero.
constexpr qsizetype maxSocketPathBytes = 108;

} // namespace

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
    if (launch_.listens) {
        socketPath_ = socketPathFor(QFileInfo(launch_.program).fileName());
        if (socketPath_.isEmpty()) {
            fail({Failure::launchFailed, 0, QStringLiteral("нет личной папки для сокета сервера")});
            return;
        }
        // Whatever is there was left by a child of this process that is gone: the folder is nobody else's.
        QFile::remove(socketPath_);
    }
    auto* process = new QProcess(this);
    process->setProgram(launch_.program);
    process->setArguments(launch_.arguments(socketPath_));
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
    if (!socketPath_.isEmpty())
        QFile::remove(socketPath_);
    socketPath_.clear();
    listening_ = false;
}

void ChildServer::checkReady(quint64 generation, int attempt)
{
    if (generation != generation_ || !process_)
        return;
    if (launch_.listens && !listening_) {
        // The server binds its socket only once its model is loaded.
        if (!QFileInfo(socketPath_).exists()) {
            probeLater(generation, attempt);
            return;
        }
        listening_ = true;
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

void ChildServer::childExited(quint64 generation, int exitCode)
{
    if (generation != generation_)
        return;
    ++generation_;
    release();
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

void ChildServer::send(LocalHttp::Request request, LocalHttp::Callback callback)
{
    if (!process_ || !listening_) {
        callback(notRunning());
        return;
    }
    const qint64 pid = process_->processId();
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
    LocalHttp::send(
        this, socketPath_, request,
        [this, generation = generation_, callback = std::move(callback)](const Result<LocalHttp::Answer>& answer) {
            if (!answer && answer.error() == LocalHttp::answerTooLarge() && generation == generation_) {
                Log::info(launch_.name + QStringLiteral(": ответ больше допустимого, процесс остановлен"));
                fail({Failure::overflowed, 0, {}});
            }
            callback(answer);
        });
}

Error ChildServer::notRunning()
{
    return Error::tolvan(10, QStringLiteral("сервер не запущен"));
}

QString ChildServer::socketPathFor(const QString& name)
{
    // One per app process, so that copies with different runtime folders never share one (tests run side by side).
    const QString file = QLatin1Char('/') + name + QLatin1Char('-') +
                         QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".sock");
    const QString folder = PrivateDirectory::socketFolder();
    if (!folder.isEmpty() && QFile::encodeName(folder + file).size() < maxSocketPathBytes)
        return folder + file;
    // A runtime folder too deep for a socket's name.
    const QString fallback =
        PrivateDirectory::firstPrivate({PrivateDirectory::inTemporaryDirectory(QStringLiteral("tolvan"))});
    return fallback.isEmpty() ? QString() : fallback + file;
}

void ChildServer::endStrays(const QString& program, const QString& report)
{
    if (const int ended = Processes::terminateInstances(program))
        Log::info(report.arg(ended));
}
