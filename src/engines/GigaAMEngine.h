#pragma once

#include "core/Result.h"
#include "model/SpeechSegment.h"
#include "model/TranscriptionResult.h"

#include <QByteArray>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Recognizes recordings with the GigaAM-v3 model by running sherpa-onnx-offline once per recording.
// Recognitions run one after another on the engine's own worker thread ("tolvan.gigaam"); the caller is
// never blocked, and completions run on that worker thread.
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

    void transcribe(QByteArray wav, Completion<TranscriptionResult> completion);

    static QStringList arguments(const QString& modelDirectory, int threads, const QString& wavPath);
    // The recognizer's standard output as a result.
    static Result<TranscriptionResult> parseOutput(const QByteArray& output);
    // Timed pieces from per-token timestamps (seconds): a pause of at least `gapMs` before a token that
    // starts a word (leading space) begins a new piece.
    static std::vector<SpeechSegment> segments(const QStringList& tokens, const std::vector<double>& timestamps,
                                               int gapMs);

private:
    Result<TranscriptionResult> run(const QByteArray& wav) const;
    Result<QByteArray> recognize(const QString& program, const QString& wavPath) const;
    void work();

    Timing timing_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};
