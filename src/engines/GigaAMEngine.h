#pragma once

#include "core/Result.h"
#include "engines/GigaAMServer.h"
#include "transcript/SpeechSegment.h"
#include "transcript/TranscriptionResult.h"

#include <QByteArray>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Recognizes recordings with the GigaAM-v3 model. Once start() has found the model's files in order, the bundled
// sherpa-onnx-offline is kept running with the model loaded (GigaAMServer) until stop(): recordings go to it and
// complete on the main thread. Otherwise (another program named by TOLVAN_SHERPA_BIN, a command-line mode) the
// recognizer runs once per recording, one after another on the engine's own worker thread ("tolvan.gigaam"),
// where they complete; the caller is never blocked.
class GigaAMEngine
{
public:
    struct Timing
    {
        // A recognition still running after this long is terminated.
        int watchdogMs = 180 * 1000;
        int terminationGraceMs = 3000;
    };

    static constexpr int segmentGapMs = 600;

    static GigaAMEngine& shared();

    GigaAMEngine();
    explicit GigaAMEngine(Timing timing);
    // Finishes the recognitions already queued.
    ~GigaAMEngine();
    GigaAMEngine(const GigaAMEngine&) = delete;
    GigaAMEngine& operator=(const GigaAMEngine&) = delete;

    // Main thread: checks the model's files once and keeps the bundled recognizer running with it.
    void start();
    // Main thread: ends the running recognizer; recordings waiting for it fail.
    void stop();
    // Where recordings go; on the main thread while the recognizer is kept running.
    void transcribe(QByteArray wav, Completion<TranscriptionResult> completion);
    // Whether recordings go to the kept recognizer, completing on the main thread. Main thread.
    bool isServing() const { return started_ && !startProblem_ && server_; }
    // The kept recognizer's process id, 0 without one. Main thread.
    qint64 servingProcessId() const;

    // Ends the recognizers an earlier run left behind: every process of this user running the bundled program.
    static void endStrays();
    static QStringList arguments(const QString& modelDirectory, int threads, const QString& wavPath);
    // The recognizer's standard output as a result.
    static Result<TranscriptionResult> parseOutput(const QByteArray& output);
    // Timed pieces from per-token timestamps (seconds): a pause of at least `gapMs` before a token that
    // starts a word (leading space) begins a new piece.
    static std::vector<SpeechSegment> segments(const QStringList& tokens, const std::vector<double>& timestamps,
                                               int gapMs);

    // What keeps the model's files from being used, checked on the files themselves.
    static std::optional<Error> modelProblem();

private:
    // To the worker thread, which runs the recognizer for it.
    void queue(QByteArray wav, Completion<TranscriptionResult> completion);
    Result<TranscriptionResult> run(const QByteArray& wav) const;
    Result<QByteArray> recognize(const QString& program, const QString& wavPath) const;
    void work();

    Timing timing_;
    // Main thread.
    std::unique_ptr<GigaAMServer> server_;
    // Found by start(), main thread.
    std::optional<Error> startProblem_;
    bool started_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};
