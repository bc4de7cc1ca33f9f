#include "quality/AdvisorEngine.h"

#include "children/ChildProcess.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "core/Utf8.h"
#include "downloads/ContentHash.h"
#include "downloads/FileDownload.h"
#include "engines/ModelHub.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <utility>

namespace
{

bool isHealthy(const Result<LocalHttp::Answer>& reply)
{
    // The loading server answers 503 with an error object; only a 200 whose body says "ok" means ready.
    if (!reply || reply.value().status != 200)
        return false;
    const std::optional<QString> body = Utf8::decode(reply.value().body);
    return body && body->contains(QLatin1String("ok"));
}

// 256 random bits from the system's generator, in hexadecimal.
QByteArray freshApiKey()
{
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex();
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
    state_ = restingState();
    child_.setTiming(timing.server);
    child_.onStarting = [this] { setState(State{State::starting, 0, {}}); };
    child_.onReady = [this] {
        setState(State{State::ready, 0, {}});
        settleWaiting(true);
    };
    child_.onFailure = [this](const ChildServer::Failure& failure) { childFailed(failure); };
}

AdvisorEngine::~AdvisorEngine()
{
    idleShutdown_.cancel();
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

QStringList AdvisorEngine::serverArguments(const QString& modelPath, const QString& socketPath, int threads)
{
    // llama-server listens on a Unix socket when the host's name ends in ".sock".
    return {QStringLiteral("-m"),     modelPath,
            QStringLiteral("--host"), socketPath,
            QStringLiteral("-c"),     QStringLiteral("2048"),
            QStringLiteral("-t"),     QString::number(threads),
            QStringLiteral("-ngl"),   QStringLiteral("99"),
            QStringLiteral("--jinja")};
}

QString AdvisorEngine::modelAddress(const QString& base)
{
    return base + QLatin1Char('/') + repository + QStringLiteral("/resolve/") + revision + QLatin1Char('/') +
           modelFileName;
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
    ChildServer::endStrays(Resources::bundledLlamaServer(),
                           QStringLiteral("Советник: остановлено оставшихся llama-server: %1"));
}

void AdvisorEngine::setState(const State& state)
{
    state_ = state;
    MainThread::post(this, [this, state] { emit stateChanged(state); });
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
    if (child_.isReady()) {
        then(true);
        return;
    }
    if (child_.isStarting()) {
        waiting_.push_back(std::move(then));
        return;
    }
    const std::optional<QString> executable = serverExecutable();
    if (!modelDownloaded() || !executable) {
        then(false);
        return;
    }
    waiting_.push_back(std::move(then));
    launch(*executable);
}

void AdvisorEngine::launch(const QString& executable)
{
    apiKey_ = freshApiKey();
    ChildServer::Launch launch;
    launch.name = QStringLiteral("Советник: llama-server");
    launch.program = executable;
    launch.arguments = [model = modelPath(), threads = ChildProcess::recognizerThreadCount()](
                           const QString& socketPath) { return serverArguments(model, socketPath, threads); };
    launch.environment.insert(QStringLiteral("LLAMA_API_KEY"), QString::fromLatin1(apiKey_));
    launch.logPath = Log::childLog(QStringLiteral("advisor.log"));
    // Asked to stop in the middle of an answer, llama-server waits for a second signal that an orphan never
    // gets; it holds nothing that needs saving.
    launch.killWithParent = true;
    child_.start(launch, [this](const std::function<void(bool)>& answer) { probe(answer); });
    if (child_.isStarting())
        Log::info(QStringLiteral("Советник: llama-server запущен"));
}

void AdvisorEngine::probe(const std::function<void(bool)>& answer)
{
    LocalHttp::Request health;
    health.path = "/health";
    health.idleTimeoutMs = timing_.server.probeTimeoutMs;
    health.totalTimeoutMs = timing_.server.probeTimeoutMs;
    child_.send(health, [answer](const Result<LocalHttp::Answer>& reply) { answer(isHealthy(reply)); });
}

void AdvisorEngine::childFailed(const ChildServer::Failure& failure)
{
    switch (failure.kind) {
    case ChildServer::Failure::silent:
        Log::info(QStringLiteral("Советник: llama-server не ответил, процесс остановлен"));
        setState(State::failure(QStringLiteral("советник не отвечает")));
        break;
    case ChildServer::Failure::exited:
        Log::info(QStringLiteral("Советник: llama-server завершился, код %1").arg(failure.exitCode));
        setState(State::failure(QStringLiteral("советник завершился, код %1").arg(failure.exitCode)));
        break;
    case ChildServer::Failure::launchFailed:
        Log::info(QStringLiteral("Советник: llama-server не запустился: ") + failure.description);
        setState(State::failure(failure.description));
        break;
    case ChildServer::Failure::overflowed:
        setState(State::failure(QStringLiteral("советник прислал слишком большой ответ")));
        break;
    }
    settleWaiting(false);
}

void AdvisorEngine::settleWaiting(bool started)
{
    for (const std::function<void(bool)>& then : std::exchange(waiting_, {}))
        then(started);
}

void AdvisorEngine::request(const QString& text, const QString& style, qint64 intensity, Completion<Advice> completion)
{
    LocalHttp::Request chat;
    chat.method = "POST";
    chat.path = "/v1/chat/completions";
    chat.contentType = "application/json";
    chat.headers = {{"Authorization", "Bearer " + apiKey_}};
    chat.body = {AdvisorText::chatRequestBody(text, style, intensity)};
    chat.idleTimeoutMs = timing_.requestTimeoutMs;
    // The exchange belongs to the child server, a member: its callback never outlives this engine.
    child_.send(chat, [this, text, completion = std::move(completion)](const Result<LocalHttp::Answer>& reply) {
        scheduleIdleShutdown();
        if (!reply)
            completion(reply.error());
        else
            completion(AdvisorText::adviceFromAnswer(reply.value().body, text));
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
    idleShutdown_.cancel();
    child_.stop();
    setState(restingState());
    settleWaiting(false);
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
    auto* download =
        new FileDownload(&downloads_, {QUrl(address)}, modelPath(), {sizes_.acceptedAbove, sizes_.rejectedAbove}, this);
    if (const std::optional<ContentHash> hash = ContentHash::parse(sizes_.hash))
        download->expectHash(*hash);
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
    // The mirror could hand out any bytes; only a known digest tells whether they are the model's.
    if (!useMirror_ && ContentHash::parse(sizes_.hash)) {
        useMirror_ = true;
        setState(State{State::noModel, 0, {}});
        downloadModel();
        return;
    }
    setState(State::failure(QStringLiteral("не удалось загрузить модель: ") + error.description()));
}
