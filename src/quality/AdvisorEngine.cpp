#include "quality/AdvisorEngine.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "engines/ChildProcess.h"
#include "engines/FileDownload.h"
#include "engines/ModelHub.h"
#include "engines/Utf8.h"
#include "engines/WhisperServer.h"
#include "platform/Processes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>

#include <algorithm>

namespace
{

QUrl serverUrl(quint16 port, const QString& path)
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
}

bool isHealthy(QNetworkReply& reply)
{
    // The loading server answers 503 with an error object; only a 200 whose body says "ok" means ready.
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::optional<QString> body = Utf8::decode(reply.readAll());
    return status == 200 && body && body->contains(QLatin1String("ok"));
}

// A file that arrived whole but too short names the status it came with; every other failure is already in
// the words the user sees.
Error downloadError(const Error& error)
{
    if (error == FileDownload::incompleteError())
        return Error::tolvan(AdvisorEngine::incompleteDownloadCode, QStringLiteral("файл модели неполный (HTTP 200)"));
    return error;
}

bool isValidAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty();
}

} // namespace

AdvisorEngine& AdvisorEngine::shared()
{
    return sharedInstance<AdvisorEngine>();
}

AdvisorEngine::AdvisorEngine(QObject* parent) : AdvisorEngine(Timing{}, ModelSizes{}, parent) {}

AdvisorEngine::AdvisorEngine(Timing timing, ModelSizes sizes, QObject* parent)
    : QObject(parent), timing_(timing), sizes_(sizes)
{
    http_.setProxy(QNetworkProxy::NoProxy);
    state_ = restingState();
}

AdvisorEngine::~AdvisorEngine()
{
    idleShutdown_.cancel();
    for (QNetworkReply* reply : http_.findChildren<QNetworkReply*>())
        reply->disconnect(this);
    if (!process_)
        return;
    process_->disconnect(this);
    if (QCoreApplication::closingDown()) {
        // The application is going away and cannot host a lingering child any more.
        process_->kill();
        process_->waitForFinished();
        return;
    }
    ChildProcess::end(process_, timing_.terminationGraceMs);
}

QString AdvisorEngine::modelPath() const
{
    return Paths::advisorModelsDir() + QLatin1Char('/') + modelFileName;
}

bool AdvisorEngine::modelDownloaded() const
{
    const QFileInfo file(modelPath());
    return file.isFile() && file.size() > sizes_.presentAbove;
}

QStringList AdvisorEngine::serverArguments(const QString& modelPath, quint16 port, int threads)
{
    return {QStringLiteral("-m"),     modelPath,
            QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
            QStringLiteral("--port"), QString::number(port),
            QStringLiteral("-c"),     QStringLiteral("2048"),
            QStringLiteral("-t"),     QString::number(threads),
            QStringLiteral("-ngl"),   QStringLiteral("99"),
            QStringLiteral("--jinja")};
}

QString AdvisorEngine::modelAddress(const QString& base)
{
    return base + QLatin1Char('/') + repository + QStringLiteral("/resolve/main/") + modelFileName;
}

Error AdvisorEngine::error(const QString& message)
{
    return Error::tolvan(errorCode, message);
}

std::optional<QString> AdvisorEngine::serverExecutable()
{
    const QString path = Resources::llamaServer();
    if (!qEnvironmentVariableIsEmpty("TOLVAN_LLAMA_BIN") || QFileInfo(path).isFile())
        return path;
    return std::nullopt;
}

void AdvisorEngine::endStrays()
{
    if (const int ended = Processes::terminateInstances(Resources::bundledLlamaServer()))
        Log::info(QStringLiteral("Советник: остановлено оставшихся llama-server: %1").arg(ended));
}

void AdvisorEngine::setState(const State& state)
{
    state_ = state;
    MainThread::post(this, [this, state] {
        if (onState)
            onState(state);
    });
}

AdvisorEngine::State AdvisorEngine::restingState() const
{
    if (download_)
        return State::downloadingAt(downloadProgress_);
    return State{modelDownloaded() ? State::idle : State::noModel, 0, {}};
}

void AdvisorEngine::suggest(const QString& text, std::optional<QString> style, std::optional<qint64> intensity,
                            bool force, Completion<Advice> completion)
{
    SettingsStore& settings = SettingsStore::shared();
    const QString chosenStyle =
        style ? *style : settings.stringForKey(SettingsKey::advisorStyle).value_or(QStringLiteral("neutral"));
    if (AdvisorText::isAnimalStyle(chosenStyle)) {
        const QString translation = AdvisorText::animalTranslate(text, chosenStyle == QLatin1String("cat"));
        MainThread::post(this, [completion = std::move(completion), translation] {
            completion(Advice{std::nullopt, translation, false});
        });
        return;
    }
    if (!force && !settings.boolForKey(SettingsKey::styleAdvisor)) {
        completion(error(QStringLiteral("советник выключен")));
        return;
    }
    if (!modelDownloaded()) {
        completion(error(QStringLiteral("модель советника не загружена")));
        return;
    }
    const qint64 level = intensity ? *intensity : settings.integerForKey(SettingsKey::advisorIntensity);
    MainThread::post(this, [this, text, chosenStyle, level, completion = std::move(completion)] {
        QPointer<AdvisorEngine> self(this);
        startServerIfNeeded([self, text, chosenStyle, level, completion](bool started) {
            if (!self)
                return;
            if (!started) {
                completion(error(QStringLiteral("советник не запустился")));
                return;
            }
            self->request(text, chosenStyle, level, completion);
        });
    });
}

void AdvisorEngine::startServerIfNeeded(std::function<void(bool)> then)
{
    if (state_.kind == State::starting) {
        waitReady(generation_, 0, std::move(then));
        return;
    }
    if (state_.kind == State::ready) {
        then(true);
        return;
    }
    const std::optional<QString> executable = serverExecutable();
    if (!modelDownloaded() || !executable) {
        then(false);
        return;
    }
    launch(*executable, std::move(then));
}

void AdvisorEngine::launch(const QString& executable, std::function<void(bool)> then)
{
    endProcess();
    const quint64 generation = ++generation_;
    port_ = WhisperServer::freePort();
    const quint16 port = port_;

    auto* process = new QProcess(this);
    process->setProgram(executable);
    process->setArguments(serverArguments(modelPath(), port, ChildProcess::recognizerThreadCount()));
    const QString log = Log::childLog(QStringLiteral("advisor.log"));
    if (log.isEmpty()) {
        // Nobody would read a pipe, and a full pipe would stall the server.
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    } else {
        process->setStandardOutputFile(log, QIODevice::Append);
        process->setStandardErrorFile(log, QIODevice::Append);
    }
    connect(process, &QProcess::finished, this,
            [this, generation](int exitCode, QProcess::ExitStatus) { childExited(generation, exitCode); });
    connect(process, &QProcess::errorOccurred, this, [this, generation, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            launchFailed(generation, process->errorString());
    });
    connect(process, &QProcess::started, this,
            [port] { Log::info(QStringLiteral("Советник: llama-server запущен, порт %1").arg(port)); });
    // Asked to stop in the middle of an answer, llama-server waits for a second signal that an orphan never
    // gets; it holds nothing that needs saving.
    Processes::killWithParent(*process);

    setState(State{State::starting, 0, {}});
    process_ = process;
    process->start();
    waitReady(generation, 0, std::move(then));
}

void AdvisorEngine::waitReady(quint64 generation, int attempt, std::function<void(bool)> then)
{
    if (generation != generation_) {
        then(false);
        return;
    }
    QNetworkRequest probe(serverUrl(port_, QStringLiteral("/health")));
    probe.setTransferTimeout(timing_.probeTimeoutMs);
    QNetworkReply* reply = http_.get(probe);
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, attempt, then = std::move(then)] {
        reply->deleteLater();
        if (generation != generation_) {
            then(false);
            return;
        }
        if (isHealthy(*reply)) {
            if (state_.kind != State::ready)
                setState(State{State::ready, 0, {}});
            then(true);
        } else if (attempt + 1 < timing_.probeCount) {
            QTimer::singleShot(timing_.probePauseMs, this,
                               [this, generation, attempt, then] { waitReady(generation, attempt + 1, then); });
        } else {
            abandonStart(QStringLiteral("советник не отвечает"));
            then(false);
        }
    });
}

void AdvisorEngine::abandonStart(const QString& message)
{
    // A server that never became ready may still be loading gigabytes: it goes too.
    Log::info(QStringLiteral("Советник: llama-server не ответил, процесс остановлен"));
    ++generation_;
    endProcess();
    port_ = 0;
    setState(State::failure(message));
}

void AdvisorEngine::request(const QString& text, const QString& style, qint64 intensity, Completion<Advice> completion)
{
    QNetworkRequest chat(serverUrl(port_, QStringLiteral("/v1/chat/completions")));
    chat.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    chat.setTransferTimeout(timing_.requestTimeoutMs);
    QNetworkReply* reply = http_.post(chat, AdvisorText::chatRequestBody(text, style, intensity));
    connect(reply, &QNetworkReply::finished, this, [this, reply, text, completion = std::move(completion)] {
        reply->deleteLater();
        scheduleIdleShutdown();
        const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (!answered && reply->error() != QNetworkReply::NoError) {
            completion(Error::system(QStringLiteral("QNetworkReply"), reply->error(), reply->errorString()));
            return;
        }
        completion(AdvisorText::adviceFromAnswer(reply->readAll(), text));
    });
}

void AdvisorEngine::scheduleIdleShutdown()
{
    QPointer<AdvisorEngine> self(this);
    idleShutdown_.schedule(timing_.idleShutdownMs, [self] {
        Log::info(QStringLiteral("Советник: остановлен по простою"));
        if (self)
            self->shutdown();
    });
}

void AdvisorEngine::shutdown()
{
    ++generation_;
    idleShutdown_.cancel();
    endProcess();
    port_ = 0;
    setState(restingState());
}

void AdvisorEngine::endProcess()
{
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
}

void AdvisorEngine::childExited(quint64 generation, int exitCode)
{
    if (generation != generation_)
        return;
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
    port_ = 0;
    // Pollers of this start stop at once instead of probing a dead port for a minute.
    ++generation_;
    Log::info(QStringLiteral("Советник: llama-server завершился, код %1").arg(exitCode));
    setState(State::failure(QStringLiteral("советник завершился, код %1").arg(exitCode)));
}

void AdvisorEngine::launchFailed(quint64 generation, const QString& description)
{
    if (generation != generation_ || !process_)
        return;
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
    port_ = 0;
    ++generation_;
    Log::info(QStringLiteral("Советник: llama-server не запустился: ") + description);
    setState(State::failure(description));
}

void AdvisorEngine::downloadModel()
{
    // Switched off and on again while the model arrives: still the one download, shown again.
    if (download_) {
        if (state_.kind != State::downloading)
            setState(State::downloadingAt(downloadProgress_));
        return;
    }
    if (modelDownloaded()) {
        // A running server already has the model; calling it idle would start a second one beside it.
        if (state_.kind != State::starting && state_.kind != State::ready)
            setState(State{State::idle, 0, {}});
        return;
    }
    startDownload();
}

void AdvisorEngine::startDownload()
{
    const QString base = useMirror_ ? ModelHub::mirrorBase() : ModelHub::hubBase();
    const QString address = modelAddress(base);
    if (!isValidAddress(address))
        return;
    Log::info(QStringLiteral("Советник: загрузка модели из ") + base);
    downloadProgress_ = 0;
    setState(State::downloadingAt(0));
    auto* download = new FileDownload(&downloads_, {QUrl(address)}, modelPath(), sizes_.acceptedAbove, this);
    download_ = download;
    download->onProgress = [this](qint64 received, qint64 expected) {
        const double total = static_cast<double>(expected < 1 ? sizes_.assumedTotal : expected);
        downloadProgress_ = std::min(static_cast<double>(received) / total, 1.0);
        setState(State::downloadingAt(downloadProgress_));
    };
    download->onFinished = [this, download](const Result<FileDownload::Arrived>& result) {
        download_.clear();
        download->deleteLater();
        if (result)
            downloadFinished(result.value().bytes);
        else
            downloadFinished(result.error());
    };
    download->start();
}

void AdvisorEngine::downloadFinished(const Result<qint64>& placed)
{
    if (!placed) {
        downloadFailed(downloadError(placed.error()));
        return;
    }
    Log::info(QStringLiteral("Советник: модель загружена (%1 байт)").arg(placed.value()));
    setState(State{State::idle, 0, {}});
}

void AdvisorEngine::downloadFailed(const Error& error)
{
    Log::info(QStringLiteral("Советник: загрузка не удалась: ") + error.description());
    if (!useMirror_) {
        useMirror_ = true;
        setState(State{State::noModel, 0, {}});
        downloadModel();
        return;
    }
    setState(State::failure(QStringLiteral("не удалось загрузить модель: ") + error.description()));
}
