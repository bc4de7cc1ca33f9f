#include "dictation/EngineRouter.h"

#include "core/SettingsStore.h"
#include "engines/GigaAMEngine.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "engines/RecognitionSpeed.h"
#include "recording/RecognitionChunks.h"
#include "text/Corrections.h"

namespace
{

bool isReady(const WhisperServer& server)
{
    return server.state().kind == WhisperServer::State::ready;
}

} // namespace

EngineRouter::EngineRouter()
{
    // Soak tests make a recognizer hang and cannot wait a minute for each.
    if (const int timeout = qEnvironmentVariableIntValue("TOLVAN_TEST_REQUEST_TIMEOUT_MS"); timeout > 0) {
        WhisperServer::Timing timing;
        timing.requestTimeoutMs = timeout;
        server_.setTiming(timing);
    }
}

QString EngineRouter::startPrompt()
{
    QString prompt = SettingsStore::shared().stringForKey(SettingsKey::prompt).value_or(QString());
    const QString hint = Corrections::promptHint(30);
    if (!hint.isEmpty())
        prompt += QLatin1Char(' ') + hint;
    return prompt;
}

RecognitionModel EngineRouter::activeModel()
{
    return ModelCatalog::byID(SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(QString()));
}

std::optional<QString> EngineRouter::missingModel()
{
    const RecognitionModel model = activeModel();
    if (ModelManager::isDownloaded(model))
        return std::nullopt;
    ModelManager& models = ModelManager::shared();
    if (const auto progress = models.progress().find(model.id); progress != models.progress().end())
        return QStringLiteral("Модель загружается: %1%").arg(static_cast<int>(progress.value() * 100));
    models.download(model);
    return QStringLiteral("Модель не загружена");
}

bool EngineRouter::whisperActive() const
{
    return activeModel().engine == EngineKind::whisper;
}

bool EngineRouter::canTake() const
{
    return !whisperActive() || isReady(server_);
}

bool EngineRouter::serverNeeded() const
{
    const WhisperServer::State::Kind state = server_.state().kind;
    return whisperActive() && state != WhisperServer::State::starting && state != WhisperServer::State::ready;
}

void EngineRouter::start()
{
    const RecognitionModel model = activeModel();
    if (model.engine != EngineKind::whisper) {
        server_.stop();
        GigaAMEngine::shared().start();
        return;
    }
    GigaAMEngine::shared().stop();
    server_.start(model.filePath(0),
                  SettingsStore::shared().stringForKey(SettingsKey::language).value_or(QStringLiteral("ru")),
                  startPrompt());
}

std::unique_ptr<RecognitionChunks> EngineRouter::piecesForRecording()
{
    if (!SettingsStore::shared().boolForKey(SettingsKey::recognizeWhileRecording))
        return nullptr;
    if (!whisperActive() && !GigaAMEngine::shared().isServing())
        return nullptr;
    return piecesOfRecording();
}

std::unique_ptr<RecognitionChunks> EngineRouter::piecesOfRecording()
{
    if (!whisperActive())
        return measured(RecognitionChunks::ofGigaAM());
    if (!isReady(server_))
        return nullptr;
    return measured(std::make_unique<RecognitionChunks>(server_, startPrompt()));
}

std::unique_ptr<RecognitionChunks> EngineRouter::measured(std::unique_ptr<RecognitionChunks> pieces) const
{
    const QString modelID = activeModel().id;
    pieces->onTimed = [modelID](qint64 audioMs, qint64 workMs) { RecognitionSpeed::record(modelID, audioMs, workMs); };
    // GigaAM's work follows the audio's length: joining its pieces would save nothing.
    if (whisperActive() && RecognitionSpeed::slowerThanSpeech(modelID))
        pieces->joinUpTo(RecognitionChunks::joinedSamples);
    return pieces;
}
