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
#include "text/Corrections.h"
#include "text/TranscriptPipeline.h"

#include <QFile>
#include <QPointer>

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
        if (!recording())
            return;
        stopRecording();
        recordingFailedToStart(error);
    };
    hud_.onDone = [this] { finish(); };
    hud_.onCancelClick = [this] { cancel(); };
    delivery_.onRetry = [this] {
        if (recording())
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
    recorder_->onBlock = nullptr;
    recorder_->onAutoStop = nullptr;
    recorder_->onStartFailed = nullptr;
    server_.onState = nullptr;
}

QString DictationController::timerText(qint64 elapsedSeconds)
{
    return QStringLiteral("%1:%2 · ⏎ готово · Esc отмена")
        .arg(elapsedSeconds / 60)
        .arg(elapsedSeconds % 60, 2, 10, QLatin1Char('0'));
}

DictationController::Phase DictationController::phase() const
{
    bool transcribing = false;
    for (const auto& [id, dictation] : dictations_) {
        if (dictation.state == State::recording)
            return Phase::recording;
        transcribing = transcribing || dictation.state == State::queued || dictation.state == State::recognizing;
    }
    return transcribing ? Phase::transcribing : Phase::idle;
}

std::optional<DictationController::Source> DictationController::source() const
{
    const auto entry = std::find_if(dictations_.begin(), dictations_.end(),
                                    [](const auto& entry) { return entry.second.state == State::recording; });
    return entry == dictations_.end() ? std::nullopt : entry->second.source;
}

int DictationController::inFlight() const
{
    return static_cast<int>(std::count_if(dictations_.begin(), dictations_.end(), [](const auto& entry) {
        return entry.second.state == State::recognizing;
    }));
}

Dictation* DictationController::recording()
{
    const auto entry = std::find_if(dictations_.begin(), dictations_.end(),
                                    [](const auto& entry) { return entry.second.state == State::recording; });
    return entry == dictations_.end() ? nullptr : &entry->second;
}

void DictationController::moveTo(quint64 id, State state)
{
    if (state == State::done || state == State::kept)
        dictations_.erase(id);
    else
        dictations_.at(id).state = state;
    phaseChanged();
}

void DictationController::phaseChanged()
{
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
    const std::vector<quint64> interrupted = takeWhisperRecognitions();
    if (isWhisper(model)) {
        server_.start(model.filePath(0),
                      SettingsStore::shared().stringForKey(SettingsKey::language).value_or(QStringLiteral("ru")),
                      startPrompt());
    } else {
        server_.stop();
        phaseChanged();
    }
    // Recognized again by the engine now active.
    for (const quint64 id : interrupted)
        dispatch(id);
}

std::vector<quint64> DictationController::takeWhisperRecognitions()
{
    std::vector<quint64> taken;
    for (auto& [id, dictation] : dictations_) {
        // The pieces of the recording under way would go to the server that is going away: it is recognized whole.
        dictation.pieces.reset();
        if (dictation.state == State::recognizing && dictation.onWhisper) {
            dictation.onWhisper = false;
            dictation.state = State::queued;
            taken.push_back(id);
        }
    }
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
    if (recording())
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
    Dictation& dictation = dictations_[++lastDictation_];
    dictation.source = source;
    startPieces(dictation);
    delivery_.recordingStarted();
    phaseChanged();
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

void DictationController::startPieces(Dictation& dictation)
{
    if (!isWhisper(activeModel()) || server_.state().kind != WhisperServer::State::ready ||
        !SettingsStore::shared().boolForKey(SettingsKey::recognizeWhileRecording))
        return;
    dictation.pieces = std::make_unique<RecognitionChunks>(server_, startPrompt());
    recorder_->onBlock = [this](std::size_t endSample, bool voiced) {
        if (Dictation* dictation = recording())
            dictation->blockRecorded(*recorder_, endSample, voiced);
    };
}

void DictationController::finish()
{
    Dictation* dictation = recording();
    if (!dictation)
        return;
    const quint64 id = lastDictation_;
    // Before anything waiting for the recording's end is pasted elsewhere.
    dictation->target = TextDelivery::currentTarget();
    dictation->wav = recorder_->takeWav();
    const std::size_t sampleCount = static_cast<std::size_t>(dictation->wav.size() - WavWriter::headerSize) / 2;
    const double voicedMs = recorder_->voicedAccumMs();
    stopTimer();
    Sounds::play(Sounds::Sound::pop);
    if (const std::optional<QString> reason = Dictation::rejection(sampleCount, voicedMs)) {
        moveTo(id, State::done);
        hud_.flash(*reason);
        return;
    }
    hud_.showProcessing(QStringLiteral("Распознаю…"));
    if (dictation->pieces && server_.state().kind == WhisperServer::State::ready)
        sendRest(id);
    else
        dispatch(id);
}

void DictationController::cancel()
{
    if (!recording())
        return;
    stopRecording();
    Log::info(QStringLiteral("Запись отменена"));
    hud_.flash(QStringLiteral("Отменено"));
    Sounds::play(Sounds::Sound::pop);
}

void DictationController::stopRecording()
{
    recorder_->takeWav();
    stopTimer();
    moveTo(lastDictation_, State::done);
}

void DictationController::dispatch(quint64 id)
{
    dictations_.at(id).pieces.reset();
    moveTo(id, State::queued);
    if (!isWhisper(activeModel()) || server_.state().kind == WhisperServer::State::ready) {
        send(id);
        return;
    }
    if (!recording())
        hud_.showProcessing(QStringLiteral("Готовлю модель…"));
    if (server_.state().kind != WhisperServer::State::starting)
        startServer();
}

void DictationController::send(quint64 id)
{
    Dictation& dictation = dictations_.at(id);
    const quint64 request = dictation.request = ++lastRequest_;
    dictation.onWhisper = isWhisper(activeModel());
    const QPointer<DictationController> self(this);
    auto completion = [self, id, request](Result<TranscriptionResult> result) {
        MainThread::post([self, id, request, result = std::move(result)] {
            if (self)
                self->handleResult(id, request, result);
        });
    };
    if (dictation.onWhisper)
        server_.transcribe(dictation.wav, std::move(completion));
    else
        GigaAMEngine::shared().transcribe(dictation.wav, std::move(completion));
    moveTo(id, State::recognizing);
}

void DictationController::sendRest(quint64 id)
{
    Dictation& dictation = dictations_.at(id);
    const quint64 request = dictation.request = ++lastRequest_;
    dictation.onWhisper = true;
    // Posted: the handler lets go of the pieces, which must not happen inside their own callback.
    dictation.pieces->finish(dictation.wav, dictation.cutter.lastCut(),
                             [this, id, request](Result<TranscriptionResult> result) {
                                 MainThread::post(this, [this, id, request, result = std::move(result)] {
                                     handleResult(id, request, result);
                                 });
                             });
    moveTo(id, State::recognizing);
}

void DictationController::sendQueued()
{
    for (auto& [id, dictation] : dictations_) {
        if (dictation.state == State::queued)
            send(id);
    }
}

void DictationController::serverStateChanged(const WhisperServer::State& state)
{
    if (state.kind == WhisperServer::State::ready)
        sendQueued();
    // A server that could not start would hold the waiting recordings, and the panel, forever: they are
    // kept on disk instead and can be recognized from the menu later.
    if (state.kind == WhisperServer::State::failed) {
        std::vector<quint64> waiting;
        for (const auto& [id, dictation] : dictations_) {
            if (dictation.state == State::queued)
                waiting.push_back(id);
        }
        for (const quint64 id : waiting)
            recognitionFailed(id, QStringLiteral("сервер не запустился: ") + state.message);
    }
    phaseChanged();
}

void DictationController::handleResult(quint64 id, quint64 request, const Result<TranscriptionResult>& result)
{
    const auto entry = dictations_.find(id);
    if (entry == dictations_.end() || entry->second.state != State::recognizing || entry->second.request != request)
        return;
    Dictation& dictation = entry->second;
    dictation.pieces.reset();
    if (!result) {
        recognitionFailed(id, result.error().description());
        return;
    }
    if (!dictation.keptFile.isEmpty())
        RecordingArchive::remove(dictation.keptFile);
    moveTo(id, State::delivering);
    const QString text = TranscriptPipeline::textOf(result.value());
    if (text.isEmpty())
        hud_.flash(QStringLiteral("Не расслышал"));
    else
        delivery_.deliver(text, dictation.target);
    moveTo(id, State::done);
}

void DictationController::recognitionFailed(quint64 id, const QString& description)
{
    const Dictation& dictation = dictations_.at(id);
    hud_.flash(QStringLiteral("Ошибка распознавания"));
    Sounds::play(Sounds::Sound::basso);
    QString kept = dictation.keptFile;
    if (kept.isEmpty())
        kept = RecordingArchive::keep(dictation.wav).value_or(QString());
    Log::info(QStringLiteral("Ошибка /inference: ") + description +
              (kept.isEmpty() ? QString() : QStringLiteral(" (запись сохранена: %1)").arg(kept)));
    moveTo(id, State::kept);
}

void DictationController::recognizeSavedRecording()
{
    const auto underWay = [this](const QString& path) {
        return std::any_of(dictations_.begin(), dictations_.end(),
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
    const quint64 id = ++lastDictation_;
    Dictation& dictation = dictations_[id];
    dictation.state = State::queued;
    dictation.wav = file.readAll();
    dictation.target = TextDelivery::currentTarget();
    dictation.keptFile = *next;
    if (!recording())
        hud_.showProcessing(QStringLiteral("Распознаю…"));
    dispatch(id);
}

void DictationController::keepUnfinished()
{
    delivery_.keepUndelivered();
    if (Dictation* dictation = recording()) {
        dictation->wav = recorder_->takeWav();
        const double voicedMs = recorder_->voicedAccumMs();
        stopTimer();
        const auto sampleCount = static_cast<std::size_t>(dictation->wav.size() - WavWriter::headerSize) / 2;
        if (Dictation::rejection(sampleCount, voicedMs))
            dictation->wav.clear();
    }
    for (const auto& [id, dictation] : dictations_) {
        if (dictation.keptFile.isEmpty() && !dictation.wav.isEmpty()) {
            if (const std::optional<QString> path = RecordingArchive::keep(dictation.wav))
                Log::info(QStringLiteral("Нераспознанная запись сохранена: ") + *path);
        }
    }
    dictations_.clear();
    phaseChanged();
}
