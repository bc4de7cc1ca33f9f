#include "engines/GigaAMServer.h"

#include "audio/WavWriter.h"
#include "core/Log.h"
#include "core/PrivateFiles.h"
#include "engines/GigaAMEngine.h"

#include <QFileDevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUuid>

namespace
{

const QString name = QStringLiteral("sherpa-onnx-offline");

Error engineError(const QString& message)
{
    return Error::tolvan(40, message);
}

} // namespace

GigaAMServer::GigaAMServer(QObject* parent) : QObject(parent)
{
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, [this] { watchdogFired(); });
    child_.onReady = [this] {
        Log::info(name + QStringLiteral(" готов (прогрет)"));
        sendNext();
    };
    child_.onFailure = [this](const ChildServer::Failure& failure) { childFailed(failure); };
}

GigaAMServer::~GigaAMServer()
{
    failWaiting(engineError(QStringLiteral("распознаватель GigaAM остановлен")));
}

void GigaAMServer::setTiming(const Timing& timing)
{
    timing_ = timing;
    child_.setTiming(timing.server);
}

void GigaAMServer::start(const QString& program, const QStringList& arguments)
{
    stop();
    launch_.name = name;
    launch_.program = program;
    launch_.arguments = [arguments](const QString&) { return arguments; };
    launch_.logPath = Log::childLog(QStringLiteral("server.log"));
    launch_.listens = false;
    arguments_ = arguments;
    started_ = true;
    launch();
}

void GigaAMServer::stop()
{
    started_ = false;
    arguments_.clear();
    child_.stop();
    failWaiting(engineError(QStringLiteral("распознаватель GigaAM остановлен")));
}

qint64 GigaAMServer::processId() const
{
    return child_.process() ? child_.process()->processId() : 0;
}

void GigaAMServer::launch()
{
    watchdog_.stop();
    warming_ = false;
    output_.clear();
    child_.start(launch_, [this](const std::function<void(bool)>& answer) { warmUp(answer); });
    if (QProcess* process = child_.process()) {
        const QPointer<QProcess> guarded(process);
        connect(process, &QProcess::readyReadStandardOutput, this, [this, guarded] { readAnswers(guarded); });
        Log::info(name + QStringLiteral(": запуск, pid %1").arg(process->processId()));
    }
}

void GigaAMServer::warmUp(const std::function<void(bool)>& answer)
{
    Completion<TranscriptionResult> warmed = [answer](const Result<TranscriptionResult>&) { answer(true); };
    std::optional<Request> request = prepare(WavWriter::data(std::vector<int16_t>(16000, 0), 16000), warmed);
    if (!request)
        return;
    warming_ = true;
    send(std::move(*request));
}

std::optional<GigaAMServer::Request> GigaAMServer::prepare(const QByteArray& wav,
                                                           Completion<TranscriptionResult>& completion)
{
    // The user's speech: in a directory of its own that only the user can enter, gone with the request.
    Request request{PrivateFiles::temporaryDirectory(QStringLiteral("gigaam")), {}, std::move(completion), 0};
    if (!request.directory->isValid()) {
        request.completion(
            Error::system(QStringLiteral("QTemporaryDir"), QFileDevice::OpenError, request.directory->errorString()));
        return std::nullopt;
    }
    request.wavPath = request.directory->filePath(QStringLiteral("tolvan-gigaam-") +
                                                  QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                                  QStringLiteral(".wav"));
    if (const Result<Done> written = PrivateFiles::writeNew(request.wavPath, wav); !written) {
        request.completion(written.error());
        return std::nullopt;
    }
    return request;
}

void GigaAMServer::transcribe(const QByteArray& wav, Completion<TranscriptionResult> completion)
{
    std::optional<Request> request = prepare(wav, completion);
    if (!request)
        return;
    waiting_.push_back(std::move(*request));
    // After a failed start the next recording tries again.
    if (started_ && !child_.process())
        launch();
    sendNext();
}

void GigaAMServer::sendNext()
{
    if (inFlight_ || waiting_.empty() || !child_.isReady())
        return;
    Request request = std::move(waiting_.front());
    waiting_.pop_front();
    send(std::move(request));
}

void GigaAMServer::send(Request request)
{
    ++request.tries;
    child_.process()->write(QFile::encodeName(request.wavPath) + '\n');
    inFlight_ = std::move(request);
    watchdog_.start(timing_.watchdogMs);
}

void GigaAMServer::readAnswers(const QPointer<QProcess>& process)
{
    if (!process || process != child_.process())
        return;
    output_ += process->readAllStandardOutput();
    for (qsizetype end = output_.indexOf('\n'); end >= 0; end = output_.indexOf('\n')) {
        const QByteArray line = output_.left(end);
        output_.remove(0, end + 1);
        if (inFlight_)
            complete(parseAnswer(line));
    }
    // No recognition is that long: the process is broken and would fill the memory.
    if (output_.size() > maxAnswerBytes)
        overflowed();
}

void GigaAMServer::overflowed()
{
    Log::info(name + QStringLiteral(": ответ длиннее %1 байт, перезапуск").arg(maxAnswerBytes));
    output_.clear();
    const QString cause = QStringLiteral("sherpa-onnx прислал слишком длинный ответ");
    restartWithout(cause, cause);
}

void GigaAMServer::complete(const Result<TranscriptionResult>& result)
{
    watchdog_.stop();
    warming_ = false;
    Request request = std::move(*inFlight_);
    inFlight_.reset();
    request.completion(result);
    sendNext();
}

Result<TranscriptionResult> GigaAMServer::parseAnswer(const QByteArray& line)
{
    const QJsonValue error = QJsonDocument::fromJson(line).object().value(QLatin1String("error"));
    if (error.isString())
        return engineError(QStringLiteral("sherpa-onnx: ") + error.toString());
    return GigaAMEngine::parseOutput(line);
}

void GigaAMServer::childFailed(const ChildServer::Failure& failure)
{
    watchdog_.stop();
    const QString cause = failure.kind == ChildServer::Failure::launchFailed
                              ? failure.description
                              : QStringLiteral("sherpa-onnx завершился с кодом %1").arg(failure.exitCode);
    Log::info(name + QStringLiteral(" упал: ") + cause);
    std::optional<Request> request = std::move(inFlight_);
    inFlight_.reset();
    // A child that cannot even recognize the warm-up would only die again: the recordings fail, the next one
    // starts it anew.
    if (warming_ || failure.kind == ChildServer::Failure::launchFailed) {
        warming_ = false;
        failWaiting(engineError(cause));
        return;
    }
    if (request && request->tries < attempts)
        waiting_.push_front(std::move(*request));
    else if (request)
        request->completion(engineError(cause));
    launch();
}

void GigaAMServer::watchdogFired()
{
    if (!inFlight_)
        return;
    Log::info(name + QStringLiteral(" не ответил за %1 с, перезапуск").arg(timing_.watchdogMs / 1000.0));
    restartWithout(QStringLiteral("sherpa-onnx не загрузил модель"), QStringLiteral("sherpa-onnx не ответил вовремя"));
}

void GigaAMServer::restartWithout(const QString& warmingCause, const QString& cause)
{
    const bool warming = warming_;
    std::optional<Request> request = std::move(inFlight_);
    inFlight_.reset();
    if (warming) {
        child_.stop();
        failWaiting(engineError(warmingCause));
        return;
    }
    launch();
    if (request)
        request->completion(engineError(cause));
}

void GigaAMServer::failWaiting(const Error& error)
{
    watchdog_.stop();
    std::deque<Request> failed = std::move(waiting_);
    waiting_.clear();
    if (inFlight_ && !warming_)
        failed.push_front(std::move(*inFlight_));
    inFlight_.reset();
    warming_ = false;
    for (Request& request : failed)
        request.completion(error);
}
