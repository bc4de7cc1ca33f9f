#include "dictation/FileRecognition.h"

#include "audio/AudioFileDecoder.h"
#include "audio/WavWriter.h"
#include "core/Log.h"
#include "dictation/EngineRouter.h"
#include "recording/RecognitionChunks.h"
#include "text/TranscriptPipeline.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

FileRecognition::FileRecognition(EngineRouter& engines, QObject* parent) : QObject(parent), engines_(engines) {}

FileRecognition::~FileRecognition()
{
    unwatchServer();
}

void FileRecognition::start(const QString& path, Completion<QString> done)
{
    cancel();
    if (const std::optional<QString> missing = EngineRouter::missingModel()) {
        done(Error::tolvan(missingModelCode, *missing));
        return;
    }
    done_ = std::move(done);
    Log::info(QStringLiteral("Распознаю аудиофайл «%1»").arg(QFileInfo(path).fileName()));
    // The server loads its model while the file is decoded.
    if (engines_.serverNeeded())
        engines_.start();
    if (engines_.whisperActive() && !engines_.canTake())
        watchServer();
    decoder_.start(path, [this](Result<QByteArray> wav) { decoded(std::move(wav)); });
}

void FileRecognition::cancel()
{
    decoder_.cancel();
    unwatchServer();
    pieces_.reset();
    wav_.reset();
    done_ = nullptr;
}

QString FileRecognition::clock(std::size_t samples)
{
    const std::size_t seconds = samples / AudioFileDecoder::sampleRate;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QChar(u'0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds.rightJustified(5, u'0'));
}

void FileRecognition::decoded(Result<QByteArray> wav)
{
    if (!wav) {
        complete(wav.error());
        return;
    }
    wav_ = std::move(wav).value();
    proceed();
}

void FileRecognition::proceed()
{
    if (!wav_ || !engines_.canTake())
        return;
    unwatchServer();
    pieces_ = engines_.piecesOfRecording();
    const std::size_t total = std::size_t(wav_->size() - WavWriter::headerSize) / 2;
    pieces_->onPiece = [this, total](const TranscriptionResult&, std::size_t endSample) {
        if (onProgress)
            onProgress(std::min(endSample, total), total);
    };
    const QByteArray wav = *std::exchange(wav_, std::nullopt);
    pieces_->finish(wav, 0, [this](const Result<TranscriptionResult>& result) { recognized(result); });
}

// Beside whoever else listens to the server (the controller of the dictations), until the file is done.
void FileRecognition::watchServer()
{
    if (serverWatch_)
        return;
    // Queued: the controller, which may have connected earlier, hears the state first.
    serverWatch_ = connect(&engines_.whisperServer(), &WhisperServer::stateChanged, this,
                           &FileRecognition::serverStateChanged, Qt::QueuedConnection);
}

void FileRecognition::unwatchServer()
{
    disconnect(std::exchange(serverWatch_, {}));
}

void FileRecognition::serverStateChanged(const WhisperServer::State& state)
{
    if (!serverWatch_)
        return;
    if (state.kind == WhisperServer::State::failed) {
        complete(Error::tolvan(engineFailedCode, QStringLiteral("распознаватель не запустился: ") + state.message));
        return;
    }
    proceed();
}

void FileRecognition::recognized(const Result<TranscriptionResult>& result)
{
    if (!result) {
        complete(result.error());
        return;
    }
    complete(TranscriptPipeline::textOf(result.value()));
}

void FileRecognition::complete(const Result<QString>& result)
{
    const Completion<QString> done = std::exchange(done_, nullptr);
    unwatchServer();
    pieces_.reset();
    wav_.reset();
    if (done)
        done(result);
}
