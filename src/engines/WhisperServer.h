#pragma once

#include "children/ChildServer.h"
#include "core/Result.h"
#include "transcript/TranscriptionResult.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Runs whisper.cpp's whisper-server as a child listening on a private Unix socket (through ChildServer), tracks
// whether it is usable and sends recordings to its /inference endpoint. The user's prompt travels in each request,
// never on the child's command line, which every local user can read. Everything but the transcription completions
// happens on the main thread.
class WhisperServer : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        enum Kind
        {
            stopped,
            starting,
            ready,
            failed,
        };
        Kind kind = stopped;
        // For `failed`: what the user is told.
        QString message;

        static State failure(const QString& message) { return {failed, message}; }
        bool operator==(const State&) const = default;
    };

    // How long things may take; tests shorten them.
    struct Timing
    {
        // Readiness and the end of a stopped child.
        ChildServer::Timing server;
        // A recognition request waits this long for more data, and this long in all, each longer by the length of
        // its audio: the server sends nothing before it has finished. A server that keeps working on the processor
        // is waited for more data again (within the wait in all).
        int requestTimeoutMs = 60000;
        int requestTotalTimeoutMs = 600000;
    };

    explicit WhisperServer(QObject* parent = nullptr);
    ~WhisperServer() override;

    const State& state() const { return state_; }
    const QString& socketPath() const { return child_.socketPath(); }
    void setTiming(const Timing& timing)
    {
        timing_ = timing;
        child_.setTiming(timing.server);
    }

    // Stops a running server, then starts one with this model file, language code and initial prompt (sent with
    // every request that brings no prompt of its own).
    void start(const QString& modelPath, const QString& language, const QString& prompt);
    void stop();
    // The prompt of the requests that bring none of their own, from now on.
    void setPrompt(const QString& prompt) { prompt_ = prompt; }
    // The completion runs on the main thread, or at once when no server runs. Requests go over LocalHttp to the
    // child's socket, nothing stored.
    void transcribe(const QByteArray& wav, Completion<TranscriptionResult> completion);
    // The same with text that came before this recording, which the recognizer continues.
    void transcribe(const QByteArray& wav, const QString& prompt, Completion<TranscriptionResult> completion);

    // Ends the servers an earlier run left behind: every process of this user running the bundled server file.
    // A program named with TOLVAN_WHISPER_BIN may serve others as well and is left alone.
    static void endStrays();
    // The program start() runs: the one TOLVAN_WHISPER_BIN names, else the bundle's Vulkan build where it computes
    // on a GPU, else its CPU build.
    static QString program();

    static QStringList arguments(const QString& modelPath, const QString& socketPath, int threads,
                                 const QString& language);
    // The multipart form of one recognition request, in three pieces: the fields before the file, the WAV
    // itself (shared, not copied) and the closing boundary.
    static QByteArrayList multipartParts(const QByteArray& boundary, const QByteArray& wav, const QString& prompt = {});
    static QByteArray multipartBody(const QByteArray& boundary, const QByteArray& wav, const QString& prompt = {});
    // What an answer means: status 0 for an answer that is not HTTP.
    static Result<TranscriptionResult> interpretAnswer(int status, const QByteArray& body);

signals:
    // Every assignment to the state, on the main thread, after it was made.
    void stateChanged(const WhisperServer::State& state);

private:
    void setState(const State& state);
    // Ready once anything answers GET / and a second of silence has been through the model.
    void probe(const std::function<void(bool)>& answer);
    void childFailed(const ChildServer::Failure& failure);

    ChildServer child_;
    State state_;
    Timing timing_;
    QString prompt_;
};
