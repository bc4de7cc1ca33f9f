#pragma once

#include "audio/AudioDecoderProcess.h"
#include "core/Result.h"
#include "engines/WhisperServer.h"
#include "transcript/TranscriptionResult.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

class EngineRouter;
class RecognitionChunks;

// Recognizes one audio file with the active engine, as a dictation of that length: the file is decoded in a
// child process while the engine starts (the whisper server when it neither runs nor starts), then recognized in
// pieces cut at its pauses, and the text goes through the dictations' pipeline. One file at a time. Main thread.
// Destroying the object cancels the work.
class FileRecognition : public QObject
{
    Q_OBJECT

public:
    static constexpr int missingModelCode = 72;
    static constexpr int engineFailedCode = 73;

    explicit FileRecognition(EngineRouter& engines, QObject* parent = nullptr);
    ~FileRecognition() override;

    // After each piece: how many samples from the file's start are recognized, of how many (16 kHz).
    std::function<void(std::size_t recognized, std::size_t total)> onProgress;

    // `done` gets the text (empty when nothing was said), or why there is none; never after cancel().
    void start(const QString& path, Completion<QString> done);
    void cancel();
    bool running() const { return static_cast<bool>(done_); }

    // "1:12", "1:02:03": a position in the file for the user.
    static QString clock(std::size_t samples);

private:
    void decoded(Result<QByteArray> wav);
    // Once the file is decoded and the engine takes it.
    void proceed();
    void watchServer();
    void unwatchServer();
    void serverStateChanged(const WhisperServer::State& state);
    void recognized(const Result<TranscriptionResult>& result);
    void complete(const Result<QString>& result);

    EngineRouter& engines_;
    Completion<QString> done_;
    AudioDecoderProcess decoder_;
    std::optional<QByteArray> wav_;
    std::unique_ptr<RecognitionChunks> pieces_;
    // While the whisper server starts, its state goes to whoever listened before, then here.
    QMetaObject::Connection serverWatch_;
};
