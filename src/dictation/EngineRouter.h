#pragma once

#include "core/Result.h"
#include "engines/ModelCatalog.h"
#include "engines/WhisperServer.h"
#include "transcript/TranscriptionResult.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class RecognitionChunks;

// Which recognizer hears a recording: the engine of the active model ("modelID"), the whisper server (started
// with the user's prompt and the dictionary hint, in the chosen language) or GigaAM. Starts what is missing: the
// model's download, the server. Owns the whisper server client. Main thread.
class EngineRouter
{
public:
    EngineRouter();

    WhisperServer& whisperServer() { return server_; }
    // The user's prompt followed by the dictionary hint.
    static QString startPrompt();

    // What the panel says when the active model is not on disk yet (its download is started unless it runs),
    // or nothing when it is there.
    static std::optional<QString> missingModel();
    // The model chosen in the settings ("modelID").
    static RecognitionModel activeModel();
    bool whisperActive() const;
    // Whether the active engine takes a recording now; the whisper server only once it is ready.
    bool canTake() const;
    // The whisper server is the active engine and neither runs nor starts.
    bool serverNeeded() const;
    // Starts, or restarts, the whisper server when it is the active engine, and stops it otherwise; GigaAM's
    // recognizer the same way. The model must be on disk.
    void start();
    // The pieces of a recording about to start, recognized while it runs: when the user wants it
    // ("recognizeWhileRecording") and the whisper server is active and ready, or GigaAM's recognizer is kept
    // running; else none.
    std::unique_ptr<RecognitionChunks> piecesForRecording();
    // The pieces of a complete recording, recognized one after another: always for GigaAM (its encoder knows
    // 200 s at most, and its quality falls well before that), for the whisper server once it is ready; else none.
    // Each request's speed is recorded for the model; a whisper model measured slower than speech gets its pieces
    // joined.
    std::unique_ptr<RecognitionChunks> piecesOfRecording();

private:
    std::unique_ptr<RecognitionChunks> measured(std::unique_ptr<RecognitionChunks> pieces) const;

    WhisperServer server_;
};
