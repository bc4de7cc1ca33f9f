#include "dictation/DictationController.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "core/SystemErrors.h"
#include "dictation/Sounds.h"
#include "engines/RecognitionSpeed.h"
#include "platform/KeyInjector.h"
#include "platform/MediaPlayers.h"
#include "recording/RecordingArchive.h"
#include "text/TranscriptPipeline.h"
#include "text/WindowProfiles.h"

#include <QPointer>

#include <algorithm>

DictationController::DictationController(std::unique_ptr<AudioRecorder> recorder, QObject* parent)
    : QObject(parent), recorder_(std::move(recorder))
{
    connect(&whisperServer(), &WhisperServer::stateChanged, this, &DictationController::serverStateChanged);
    recorder_->onAutoStop = [this] { finish(); };
    recorder_->onStartFailed = [this](const Error& error) {
        if (!dictations_.recording())
            return;
        stopRecording();
        recordingFailedToStart(error);
    };
    connect(&display_, &DictationDisplay::doneRequested, this, &DictationController::finish);
    connect(&display_, &DictationDisplay::cancelRequested, this, &DictationController::cancel);
    connect(&delivery_, &TextDelivery::pasted, this, &DictationController::textPasted);
    connect(&delivery_, &TextDelivery::retryRequested, this, [this] {
        if (dictations_.recording())
            finish();
        else
            begin(Source::toggle);
    });
}

DictationController::~DictationController()
{
    recorder_->onLevel = nullptr;
    recorder_->onBlock = nullptr;
    recorder_->onAutoStop = nullptr;
    recorder_->onStartFailed = nullptr;
}

DictationController::Phase DictationController::phase() const
{
    if (dictations_.recordingId())
        return Phase::recording;
    return dictations_.idsIn(State::queued).empty() && dictations_.idsIn(State::recognizing).empty()
               ? Phase::idle
               : Phase::transcribing;
}

std::optional<DictationController::Source> DictationController::source() const
{
    const quint64 id = dictations_.recordingId();
    return id ? dictations_.at(id).source : std::nullopt;
}

int DictationController::inFlight() const
{
    return static_cast<int>(dictations_.idsIn(State::recognizing).size());
}

void DictationController::moveTo(quint64 id, State state)
{
    if (state == State::done || state == State::kept)
        dictations_.erase(id);
    else
        dictations_.at(id).state = state;
    emit phaseChanged();
}

void DictationController::startServer()
{
    if (EngineRouter::missingModel())
        return;
    takeBackRecognitions();
    engines_.start();
    if (!engines_.whisperActive())
        emit phaseChanged();
    // Recognized again, or for the first time, by the engine now active: a recording queued for a whisper server
    // that is gone would otherwise wait for it forever. A server still starting takes them once it is ready.
    if (engines_.canTake()) {
        for (const quint64 id : dictations_.idsIn(State::queued))
            send(id);
    }
}

void DictationController::refreshPrompt()
{
    engines_.whisperServer().setPrompt(EngineRouter::startPrompt());
}

void DictationController::keepQueued(const QString& reason)
{
    for (const quint64 id : dictations_.idsIn(State::queued))
        recognitionFailed(id, reason);
}

void DictationController::takeBackRecognitions()
{
    for (auto& [id, dictation] : dictations_) {
        if (dictation.state == State::recognizing) {
            dictation.pieces.reset();
            dictation.state = State::queued;
        }
    }
    // The pieces of the recording under way would go to the server that is going away: it is recognized whole.
    if (Dictation* dictation = dictations_.recording())
        dictation->pieces.reset();
    recorder_->onBlock = nullptr;
}

void DictationController::begin(Source source)
{
    if (dictations_.recording())
        return;
    if (const std::optional<QString> missing = EngineRouter::missingModel()) {
        display_.flash(*missing);
        Sounds::play(Sounds::Sound::basso);
        return;
    }
    if (engines_.serverNeeded())
        startServer();
    const Result<Done> started = recorder_->start();
    if (!started) {
        recordingFailedToStart(started.error());
        return;
    }
    const quint64 id = dictations_.add();
    Dictation& dictation = dictations_.at(id);
    dictation.source = source;
    dictation.profile = profileOf(KeyInjector::focusedProgram());
    startPieces(id);
    delivery_.recordingStarted();
    if (SettingsStore::shared().boolForKey(SettingsKey::pauseMedia))
        MediaPlayers::shared().pausePlaying();
    emit phaseChanged();
    Log::info(QStringLiteral("Запись начата"));
    display_.showRecording(dictation.profile == WindowProfiles::defaultProfile()
                               ? QString()
                               : QStringLiteral("→ ") + TextProfiles::title(dictation.profile));
    recorder_->onLevel = [this](float level) { display_.updateLevel(level); };
    Sounds::play(Sounds::Sound::tink);
}

void DictationController::recordingFailedToStart(const Error& error)
{
    display_.flash(QStringLiteral("Микрофон недоступен"));
    Sounds::play(Sounds::Sound::basso);
    Log::info(QStringLiteral("Ошибка старта записи: ") + error.description());
}

void DictationController::recordingEnded()
{
    MediaPlayers::shared().resumePaused();
    delivery_.recordingEnded();
    recorder_->onLevel = nullptr;
    recorder_->onBlock = nullptr;
}

void DictationController::startPieces(quint64 id)
{
    Dictation& dictation = dictations_.at(id);
    dictation.pieces = engines_.piecesForRecording();
    if (!dictation.pieces)
        return;
    dictation.pieces->onPiece = [this, id](const TranscriptionResult& soFar, std::size_t endSample) {
        showLiveText(id, soFar, endSample);
    };
    recorder_->onBlock = [this](std::size_t endSample, bool voiced) {
        if (Dictation* dictation = dictations_.recording())
            dictation->blockRecorded(*recorder_, endSample, voiced);
    };
}

void DictationController::showLiveText(quint64 id, const TranscriptionResult& soFar, std::size_t endSample)
{
    // The rest of a recording is recognized after its end, maybe while the next one records.
    if (dictations_.recordingId() != id)
        return;
    Dictation& dictation = dictations_.at(id);
    display_.showLiveText(TranscriptPipeline::textOf(soFar, dictation.profile));
    const auto cut = dictation.pieceCuts.find(endSample);
    if (cut == dictation.pieceCuts.end())
        return;
    const std::chrono::steady_clock::time_point cutAt = cut->second;
    const qint64 recognitionMs = dictation.pieces->lastPieceMs();
    dictation.pieceCuts.erase(cut);
    // After the panel's own turn, which shows the text.
    MainThread::post(this, [cutAt, recognitionMs] {
        const auto shownMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - cutAt).count();
        Log::info(QStringLiteral("Текст на панели через %1 мс после паузы (распознавание — %2 мс)")
                      .arg(shownMs)
                      .arg(recognitionMs));
    });
}

void DictationController::finish()
{
    const quint64 id = dictations_.recordingId();
    if (!id)
        return;
    Dictation* dictation = &dictations_.at(id);
    // Before anything waiting for the recording's end is pasted elsewhere.
    dictation->target = TextDelivery::currentTarget();
    const QStringList windowClass = KeyInjector::focusedProgram();
    dictation->profile = profileOf(windowClass);
    if (!windowClass.isEmpty()) {
        WindowProfiles::notePasteTarget(windowClass);
        Log::info(QStringLiteral("Текст для программы %1: профиль «%2»")
                      .arg(WindowProfiles::programOf(windowClass), TextProfiles::title(dictation->profile)));
    }
    dictation->wav = recorder_->takeWav();
    const double voicedMs = recorder_->voicedAccumMs();
    recordingEnded();
    Log::info(QStringLiteral("Запись остановлена"));
    Sounds::play(Sounds::Sound::pop);
    if (const std::optional<QString> reason = Dictation::rejection(dictation->wav, voicedMs)) {
        moveTo(id, State::done);
        display_.flash(*reason);
        return;
    }
    display_.showProcessing(QStringLiteral("Распознаю…"));
    tellIfSlowerThanSpeech();
    if (dictation->pieces && engines_.canTake())
        sendInPieces(id, dictation->cutter.lastCut());
    else
        dispatch(id);
}

TextProfile DictationController::profileOf(const QStringList& windowClass)
{
    const TextProfile profile = WindowProfiles::forWindow(windowClass);
    if (windowClass.isEmpty() && !toldUnknownProgram_) {
        toldUnknownProgram_ = true;
        Log::info(
            QStringLiteral("Программа окна неизвестна: текст получает профиль «%1»").arg(TextProfiles::title(profile)));
    }
    return profile;
}

// Told while the user waits for a slow recognizer, once per model.
void DictationController::tellIfSlowerThanSpeech()
{
    if (!RecognitionSpeed::firstSlowNotice(EngineRouter::activeModel().id))
        return;
    display_.showTappableBadge(QStringLiteral("Модель распознаёт медленнее, чем вы говорите"),
                               QStringLiteral("Нажмите — выбрать модель побыстрее"), slowNoticeSeconds,
                               [this] { emit settingsRequested(); });
}

void DictationController::cancel()
{
    if (!dictations_.recording())
        return;
    stopRecording();
    Log::info(QStringLiteral("Запись отменена"));
    display_.flash(QStringLiteral("Отменено"));
    Sounds::play(Sounds::Sound::pop);
}

void DictationController::abandon()
{
    if (!dictations_.recording())
        return;
    stopRecording();
    Log::info(QStringLiteral("Запись отброшена: правый Alt был частью сочетания"));
    display_.hide();
}

void DictationController::stopRecording()
{
    const quint64 id = dictations_.recordingId();
    recorder_->takeWav();
    recordingEnded();
    moveTo(id, State::done);
}

void DictationController::dispatch(quint64 id)
{
    dictations_.at(id).pieces.reset();
    moveTo(id, State::queued);
    if (engines_.canTake()) {
        send(id);
        return;
    }
    if (!dictations_.recording())
        display_.showProcessing(QStringLiteral("Готовлю модель…"));
    if (engines_.serverNeeded())
        startServer();
}

void DictationController::send(quint64 id)
{
    Dictation& dictation = dictations_.at(id);
    // Taken only once the active engine can take it, which it then does in pieces.
    dictation.pieces = engines_.piecesOfRecording();
    sendInPieces(id, 0);
}

void DictationController::sendInPieces(quint64 id, std::size_t coveredUpTo)
{
    Dictation& dictation = dictations_.at(id);
    const quint64 request = dictation.request = ++lastRequest_;
    // Posted: the handler lets go of the pieces, which must not happen inside their own callback.
    dictation.pieces->finish(dictation.wav, coveredUpTo, [this, id, request](Result<TranscriptionResult> result) {
        MainThread::post(this, [this, id, request, result = std::move(result)] { handleResult(id, request, result); });
    });
    moveTo(id, State::recognizing);
}

void DictationController::serverStateChanged(const WhisperServer::State& state)
{
    // A server that could not start would hold the waiting recordings, and the panel, forever: they are
    // kept on disk instead and can be recognized from the menu later.
    for (const quint64 id : dictations_.idsIn(State::queued)) {
        if (state.kind == WhisperServer::State::ready)
            send(id);
        else if (state.kind == WhisperServer::State::failed)
            recognitionFailed(id, QStringLiteral("сервер не запустился: ") + state.message);
    }
    emit phaseChanged();
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
    dictation.text = TranscriptPipeline::textOf(result.value(), dictation.profile);
    Log::info(QStringLiteral("Распознано символов: %1").arg(dictation.text.size()));
    moveTo(id, State::delivering);
    deliverInOrder();
}

// A short dictation recognized before a long one made earlier waits for it: texts arrive as they were dictated.
void DictationController::deliverInOrder()
{
    std::vector<quint64> ready;
    for (const auto& [id, dictation] : dictations_) {
        if (dictation.state == State::queued || dictation.state == State::recognizing)
            break;
        if (dictation.state == State::delivering)
            ready.push_back(id);
    }
    for (const quint64 id : ready) {
        const Dictation& dictation = dictations_.at(id);
        if (dictation.text.isEmpty())
            flashUnlessRecording(QStringLiteral("Не расслышал"));
        else
            delivery_.deliver(dictation.text, dictation.target, dictation.profile);
        moveTo(id, State::done);
    }
}

// The panel of a recording under way stays: its microphone is live.
void DictationController::flashUnlessRecording(const QString& message)
{
    if (dictations_.recording())
        Log::info(QStringLiteral("Сообщение не показано во время записи: ") + message);
    else
        display_.flash(message);
}

void DictationController::recognitionFailed(quint64 id, const QString& description)
{
    const Dictation& dictation = dictations_.at(id);
    Sounds::play(Sounds::Sound::basso);
    const Result<QString> kept =
        dictation.keptFile.isEmpty() ? kept_.keep(dictation.wav) : Result<QString>(dictation.keptFile);
    if (kept) {
        flashUnlessRecording(QStringLiteral("Ошибка распознавания"));
        Log::info(QStringLiteral("Ошибка /inference: %1 (запись сохранена: %2)").arg(description, kept.value()));
    } else {
        if (!dictations_.recording())
            showUnwritten(kept.error());
        Log::info(QStringLiteral("Ошибка /inference: %1; запись не сохранена на диск, она в памяти до выхода: %2")
                      .arg(description, kept.error().description()));
    }
    moveTo(id, State::kept);
    deliverInOrder();
}

void DictationController::showUnwritten(const Error& error)
{
    QString title = QStringLiteral("Запись не сохранилась на диск");
    if (error.code() == SystemErrors::noSpaceCode)
        title = QStringLiteral("Нет места на диске для записи");
    else if (error.code() == SystemErrors::noAccessCode)
        title = QStringLiteral("Нет доступа к папке записей");
    display_.showTappableBadge(title, QStringLiteral("Она в памяти · нажмите — распознать снова"),
                               unwrittenBadgeSeconds, [this] { recognizeSavedRecording(); });
}

void DictationController::recognizeSavedRecording()
{
    // Those that could not be written are the newest.
    std::optional<QByteArray> wav = kept_.takeNewestUnwritten();
    QString file;
    if (!wav) {
        file = dictations_.nextKeptFile();
        if (file.isEmpty())
            return;
        wav = RecordingArchive::read(file);
        if (!wav)
            return;
    }
    const quint64 id = dictations_.add();
    Dictation& dictation = dictations_.at(id);
    dictation.state = State::queued;
    dictation.wav = std::move(*wav);
    dictation.target = TextDelivery::currentTarget();
    dictation.profile = profileOf(KeyInjector::focusedProgram());
    dictation.keptFile = file;
    if (!dictations_.recording())
        display_.showProcessing(QStringLiteral("Распознаю…"));
    dispatch(id);
}

void DictationController::keepUnfinished()
{
    delivery_.keepUndelivered();
    if (Dictation* dictation = dictations_.recording()) {
        dictation->wav = recorder_->takeWav();
        const double voicedMs = recorder_->voicedAccumMs();
        recordingEnded();
        if (Dictation::rejection(dictation->wav, voicedMs))
            dictation->wav.clear();
    }
    std::vector<QByteArray> unfinished;
    for (const auto& [id, dictation] : dictations_) {
        if (dictation.keptFile.isEmpty() && !dictation.wav.isEmpty())
            unfinished.push_back(dictation.wav);
    }
    kept_.keepAtQuit(std::move(unfinished));
    dictations_.clear();
    emit phaseChanged();
}
