#include "dictation/DictationController.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "dictation/RecordingArchive.h"
#include "dictation/Sounds.h"
#include "engines/GigaAMEngine.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "engines/WavWriter.h"
#include "platform/DesktopSession.h"
#include "text/Corrections.h"
#include "text/TranscriptPipeline.h"

#include <QFile>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace
{

WhisperModel activeModel()
{
    return ModelCatalog::byID(SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(QString()));
}

bool isWhisper(const WhisperModel& model)
{
    return model.engine == EngineKind::whisper;
}

// Starts the model's download unless one runs; true when it was already running.
bool ensureDownloading(const WhisperModel& model)
{
    ModelManager& models = ModelManager::shared();
    if (models.progress().contains(model.id))
        return true;
    models.download(model);
    return false;
}

} // namespace

DictationController::DictationController(std::unique_ptr<AudioRecorder> recorder, QObject* parent)
    : QObject(parent), recorder_(std::move(recorder))
{
    server_.onState = [this](const WhisperServer::State& state) { serverStateChanged(state); };
    // Soak tests make a recognizer hang and cannot wait a minute for each.
    if (const int timeout = qEnvironmentVariableIntValue("TOLVAN_TEST_REQUEST_TIMEOUT_MS"); timeout > 0) {
        WhisperServer::Timing timing;
        timing.requestTimeoutMs = timeout;
        server_.setTiming(timing);
    }
    recorder_->onAutoStop = [this] { finish(); };
    recorder_->onStartFailed = [this](const Error& error) {
        if (phase_ != Phase::recording)
            return;
        stopRecording();
        recordingFailedToStart(error);
    };
    hud_.onDone = [this] {
        if (phase_ == Phase::recording)
            finish();
    };
    hud_.onCancelClick = [this] { cancel(); };
    delivery_.onRetry = [this] {
        if (phase_ == Phase::recording)
            finish();
        else
            begin(Source::toggle);
    };
    timer_.setInterval(timerIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &DictationController::tick);
}

DictationController::~DictationController()
{
    recorder_->onLevel = nullptr;
    recorder_->onAutoStop = nullptr;
    recorder_->onStartFailed = nullptr;
    server_.onState = nullptr;
}

QString DictationController::timerText(qint64 elapsedSeconds)
{
    // Enter and Esc cannot be taken from native Wayland windows: there the shortcuts the user bound to the
    // commands finish and cancel.
    static const QString keys = DesktopSession::isWayland() ? QStringLiteral("✓ --toggle · ✕ --cancel")
                                                            : QStringLiteral("⏎ готово · Esc отмена");
    return QStringLiteral("%1:%2 · %3")
        .arg(elapsedSeconds / 60)
        .arg(elapsedSeconds % 60, 2, 10, QLatin1Char('0'))
        .arg(keys);
}

void DictationController::setPhase(Phase phase)
{
    phase_ = phase;
    if (onPhaseChange)
        onPhaseChange();
}

void DictationController::startServer()
{
    const WhisperModel model = activeModel();
    if (!ModelManager::isDownloaded(model)) {
        ensureDownloading(model);
        return;
    }
    std::vector<Dictation> interrupted = takeWhisperRecognitions();
    if (isWhisper(model)) {
        server_.start(model.filePath(0),
                      SettingsStore::shared().stringForKey(SettingsKey::language).value_or(QStringLiteral("ru")),
                      startPrompt());
    } else {
        server_.stop();
        if (onPhaseChange)
            onPhaseChange();
    }
    // Recognized again by the engine now active.
    for (Dictation& dictation : interrupted)
        enqueue(std::move(dictation));
}

std::vector<DictationController::Dictation> DictationController::takeWhisperRecognitions()
{
    std::vector<Dictation> taken;
    for (auto entry = inFlight_.begin(); entry != inFlight_.end();) {
        if (!entry->second.onWhisper) {
            ++entry;
            continue;
        }
        finishing_.erase(entry->first);
        taken.push_back(std::move(entry->second));
        taken.back().onWhisper = false;
        entry = inFlight_.erase(entry);
    }
    // The pieces of the recording under way would go to the server that is going away: it is recognized whole.
    chunks_.reset();
    recorder_->onBlock = nullptr;
    return taken;
}

QString DictationController::startPrompt()
{
    QString prompt = SettingsStore::shared().stringForKey(SettingsKey::prompt).value_or(QString());
    const QString hint = Corrections::promptHint(30);
    if (!hint.isEmpty())
        prompt += QLatin1Char(' ') + hint;
    return prompt;
}

void DictationController::begin(Source source)
{
    if (phase_ == Phase::recording)
        return;
    const WhisperModel model = activeModel();
    if (!ModelManager::isDownloaded(model)) {
        const auto progress = ModelManager::shared().progress().find(model.id);
        if (progress != ModelManager::shared().progress().end()) {
            hud_.flash(QStringLiteral("Модель загружается: %1%").arg(static_cast<int>(progress.value() * 100)));
        } else {
            hud_.flash(QStringLiteral("Модель не загружена"));
            ensureDownloading(model);
        }
        Sounds::play(Sounds::Sound::basso);
        return;
    }
    const WhisperServer::State::Kind serverState = server_.state().kind;
    if (isWhisper(model) && serverState != WhisperServer::State::starting && serverState != WhisperServer::State::ready)
        startServer();
    const Result<Done> started = recorder_->start();
    if (!started) {
        recordingFailedToStart(started.error());
        return;
    }
    source_ = source;
    startChunking();
    delivery_.recordingStarted();
    setPhase(Phase::recording);
    Log::info(QStringLiteral("Запись начата"));
    hud_.showRecording();
    recorder_->onLevel = [this](float level) { hud_.updateLevel(level); };
    recordingClock_.start();
    timer_.start();
    Sounds::play(Sounds::Sound::tink);
}

void DictationController::recordingFailedToStart(const Error& error)
{
    hud_.flash(QStringLiteral("Микрофон недоступен"));
    Sounds::play(Sounds::Sound::basso);
    Log::info(QStringLiteral("Ошибка старта записи: ") + error.description());
}

void DictationController::tick()
{
    hud_.updateTimer(timerText(recordingClock_.elapsed() / 1000));
}

void DictationController::stopTimer()
{
    delivery_.recordingEnded();
    timer_.stop();
    recorder_->onLevel = nullptr;
    recorder_->onBlock = nullptr;
}

void DictationController::startChunking()
{
    chunks_.reset();
    cutter_ = ChunkCutter{};
    if (!isWhisper(activeModel()) || server_.state().kind != WhisperServer::State::ready ||
        !SettingsStore::shared().boolForKey(SettingsKey::recognizeWhileRecording))
        return;
    chunks_ = std::make_unique<RecognitionChunks>(server_, startPrompt());
    recorder_->onBlock = [this](std::size_t endSample, bool voiced) { blockRecorded(endSample, voiced); };
}

void DictationController::blockRecorded(std::size_t endSample, bool voiced)
{
    if (!chunks_ || !chunks_->accepting())
        return;
    std::optional<std::size_t> cut = cutter_.addBlock(endSample, voiced);
    if (!cut && cutter_.needsForcedCut(endSample))
        cut = cutter_.forcedCut(recorder_->samples(cutter_.lastCut(), endSample));
    if (!cut)
        return;
    if (cutter_.heardSpeech())
        chunks_->add(WavWriter::data(recorder_->samples(cutter_.lastCut(), *cut), AudioRecorder::sampleRate),
                     cutter_.lastCut());
    cutter_.cutAt(*cut);
}

void DictationController::finish()
{
    if (phase_ != Phase::recording)
        return;
    // Before anything waiting for the recording's end is pasted elsewhere.
    const ActiveWindow::WindowId target = TextDelivery::currentTarget();
    QByteArray wav = recorder_->takeWav();
    const std::size_t sampleCount = static_cast<std::size_t>(wav.size() - WavWriter::headerSize) / 2;
    const double voicedMs = recorder_->voicedAccumMs();
    stopTimer();
    Sounds::play(Sounds::Sound::pop);
    std::unique_ptr<RecognitionChunks> chunks = std::move(chunks_);
    if (const std::optional<QString> reason = rejection(sampleCount, voicedMs)) {
        setPhase(Phase::idle);
        hud_.flash(*reason);
        return;
    }
    setPhase(Phase::transcribing);
    hud_.showProcessing(QStringLiteral("Распознаю…"));
    Dictation dictation{std::move(wav), target, {}};
    if (chunks && server_.state().kind == WhisperServer::State::ready)
        sendRest(std::move(dictation), std::move(chunks));
    else
        enqueue(std::move(dictation));
}

std::optional<QString> DictationController::rejection(std::size_t sampleCount, double voicedMs)
{
    if (sampleCount <= minimumSamples) {
        Log::info(
            QStringLiteral("Запись отброшена: слишком коротко (%1 мс)").arg(static_cast<qint64>(sampleCount / 16)));
        return QStringLiteral("Слишком коротко");
    }
    if (voicedMs < minimumVoicedMs) {
        Log::info(QStringLiteral("Запись отброшена: звука %1 мс из %2 мс")
                      .arg(static_cast<qint64>(voicedMs))
                      .arg(static_cast<qint64>(sampleCount / 16)));
        return QStringLiteral("Похоже, тишина");
    }
    return std::nullopt;
}

void DictationController::cancel()
{
    if (phase_ != Phase::recording)
        return;
    stopRecording();
    Log::info(QStringLiteral("Запись отменена"));
    hud_.flash(QStringLiteral("Отменено"));
    Sounds::play(Sounds::Sound::pop);
}

void DictationController::stopRecording()
{
    recorder_->takeWav();
    chunks_.reset();
    stopTimer();
    setPhase(inFlight_.empty() ? Phase::idle : Phase::transcribing);
}

void DictationController::enqueue(Dictation dictation)
{
    if (isWhisper(activeModel()) && server_.state().kind != WhisperServer::State::ready) {
        pendingWavs_.push_back(std::move(dictation));
        if (phase_ != Phase::recording)
            hud_.showProcessing(QStringLiteral("Готовлю модель…"));
        if (server_.state().kind != WhisperServer::State::starting)
            startServer();
        return;
    }
    send(std::move(dictation));
}

void DictationController::send(Dictation dictation)
{
    const quint64 id = ++nextRequest_;
    const QByteArray wav = dictation.wav;
    const bool whisper = isWhisper(activeModel());
    dictation.onWhisper = whisper;
    inFlight_.emplace(id, std::move(dictation));
    const QPointer<DictationController> self(this);
    auto completion = [self, id](Result<TranscriptionResult> result) {
        MainThread::post([self, id, result = std::move(result)] {
            if (self)
                self->handleResult(id, result);
        });
    };
    if (whisper)
        server_.transcribe(wav, std::move(completion));
    else
        GigaAMEngine::shared().transcribe(wav, std::move(completion));
}

void DictationController::sendRest(Dictation dictation, std::unique_ptr<RecognitionChunks> chunks)
{
    const quint64 id = ++nextRequest_;
    const QByteArray wav = dictation.wav;
    RecognitionChunks* pieces = chunks.get();
    dictation.onWhisper = true;
    inFlight_.emplace(id, std::move(dictation));
    finishing_.emplace(id, std::move(chunks));
    // Posted: the handler lets go of the pieces, which must not happen inside their own callback.
    pieces->finish(wav, cutter_.lastCut(), [this, id](Result<TranscriptionResult> result) {
        MainThread::post(this, [this, id, result = std::move(result)] { handleResult(id, result); });
    });
}

void DictationController::flushPending()
{
    std::deque<Dictation> waiting;
    waiting.swap(pendingWavs_);
    for (Dictation& dictation : waiting)
        send(std::move(dictation));
}

void DictationController::serverStateChanged(const WhisperServer::State& state)
{
    if (state.kind == WhisperServer::State::ready)
        flushPending();
    // A server that could not start would hold the waiting recordings, and the panel, forever: they are
    // kept on disk instead and can be recognized from the menu later.
    if (state.kind == WhisperServer::State::failed && !pendingWavs_.empty()) {
        std::deque<Dictation> waiting;
        waiting.swap(pendingWavs_);
        for (const Dictation& dictation : waiting)
            recognitionFailed(dictation, QStringLiteral("сервер не запустился: ") + state.message);
        if (phase_ == Phase::transcribing && inFlight_.empty())
            phase_ = Phase::idle;
    }
    if (onPhaseChange)
        onPhaseChange();
}

void DictationController::handleResult(quint64 id, const Result<TranscriptionResult>& result)
{
    finishing_.erase(id);
    const auto entry = inFlight_.find(id);
    if (entry == inFlight_.end())
        return;
    const Dictation dictation = std::move(entry->second);
    inFlight_.erase(entry);
    if (inFlight_.empty() && pendingWavs_.empty() && phase_ == Phase::transcribing)
        setPhase(Phase::idle);

    if (!result) {
        recognitionFailed(dictation, result.error().description());
        return;
    }
    if (!dictation.keptFile.isEmpty())
        RecordingArchive::remove(dictation.keptFile);
    const QString text = TranscriptPipeline::textOf(result.value());
    if (text.isEmpty()) {
        hud_.flash(QStringLiteral("Не расслышал"));
        return;
    }
    delivery_.deliver(text, dictation.target);
}

void DictationController::recognitionFailed(const Dictation& dictation, const QString& description)
{
    hud_.flash(QStringLiteral("Ошибка распознавания"));
    Sounds::play(Sounds::Sound::basso);
    QString kept = dictation.keptFile;
    if (kept.isEmpty())
        kept = RecordingArchive::keep(dictation.wav).value_or(QString());
    Log::info(QStringLiteral("Ошибка /inference: ") + description +
              (kept.isEmpty() ? QString() : QStringLiteral(" (запись сохранена: %1)").arg(kept)));
}

void DictationController::recognizeSavedRecording()
{
    const auto underWay = [this](const QString& path) {
        return std::any_of(pendingWavs_.begin(), pendingWavs_.end(),
                           [&](const Dictation& dictation) { return dictation.keptFile == path; }) ||
               std::any_of(inFlight_.begin(), inFlight_.end(),
                           [&](const auto& entry) { return entry.second.keptFile == path; });
    };
    const QStringList kept = RecordingArchive::files();
    const auto next = std::find_if_not(kept.begin(), kept.end(), underWay);
    if (next == kept.end())
        return;
    QFile file(*next);
    if (!file.open(QIODevice::ReadOnly)) {
        Log::info(QStringLiteral("Не удалось прочитать запись %1: %2").arg(*next, file.errorString()));
        return;
    }
    if (phase_ == Phase::idle)
        setPhase(Phase::transcribing);
    if (phase_ != Phase::recording)
        hud_.showProcessing(QStringLiteral("Распознаю…"));
    enqueue(Dictation{file.readAll(), TextDelivery::currentTarget(), *next});
}

void DictationController::keepUnfinished()
{
    delivery_.keepUndelivered();
    const auto keepOne = [](const Dictation& dictation) {
        if (!dictation.keptFile.isEmpty())
            return;
        if (const std::optional<QString> path = RecordingArchive::keep(dictation.wav))
            Log::info(QStringLiteral("Нераспознанная запись сохранена: ") + *path);
    };
    if (phase_ == Phase::recording) {
        const QByteArray wav = recorder_->takeWav();
        const double voicedMs = recorder_->voicedAccumMs();
        stopTimer();
        chunks_.reset();
        if (!rejection(static_cast<std::size_t>(wav.size() - WavWriter::headerSize) / 2, voicedMs))
            keepOne(Dictation{wav, 0, {}});
    }
    for (const Dictation& dictation : pendingWavs_)
        keepOne(dictation);
    for (const auto& [id, dictation] : inFlight_)
        keepOne(dictation);
    pendingWavs_.clear();
    inFlight_.clear();
    finishing_.clear();
    setPhase(Phase::idle);
}
