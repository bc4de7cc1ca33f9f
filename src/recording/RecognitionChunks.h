#pragma once

#include "core/Result.h"
#include "transcript/TranscriptionResult.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class WhisperServer;

// The pieces of one recording that are recognized while the user still speaks (none for a recording recognized once
// complete), one request at a time and in order. A request's prompt replaces the one the server was started with, so
// each carries that start prompt (the user's prompt and the dictionary hint) followed by the end of the text recognized
// so far. When the recording is complete only the rest is recognized, in pieces cut as ChunkCutter cuts a finished
// recording (so that no request waits for all of a long one), and the pieces' answers become one result with the times
// of the whole recording. A piece that fails stops the cutting; its audio and everything after it are recognized again
// as the rest. Main thread. Destroying the object drops every answer still to come.
class RecognitionChunks : public QObject
{
    Q_OBJECT

public:
    // Whisper keeps only the last 223 tokens of a prompt. Having no tokenizer, we count a token for every three
    // UTF-8 bytes, which overestimates Russian and English text.
    static constexpr int promptTokens = 223;
    static constexpr int bytesPerToken = 3;
    // Whisper pads every request to a 30 s window: joined pieces stay a little below it.
    static constexpr std::size_t joinedSamples = 28 * 16000;

    // Recognizes one piece with the prompt; the completion runs on the main thread.
    using Transcriber =
        std::function<void(const QByteArray& wav, const QString& prompt, Completion<TranscriptionResult> completion)>;

    RecognitionChunks(WhisperServer& server, QString startPrompt, QObject* parent = nullptr);
    RecognitionChunks(Transcriber transcribe, QString startPrompt, QObject* parent = nullptr);
    // Pieces for GigaAM, which takes no prompt.
    static std::unique_ptr<RecognitionChunks> ofGigaAM();

    // After each piece recognized: everything recognized so far, which reaches `endSample` of the recording.
    std::function<void(const TranscriptionResult& soFar, std::size_t endSample)> onPiece;
    // After each request answered: the length of its audio and how long the recognizer took over it.
    std::function<void(qint64 audioMs, qint64 workMs)> onTimed;

    // For a recognizer slower than speech, whose every request costs about the same however short its audio:
    // pieces are held and joined into requests of up to `samples` (the gaps between them, which held no speech,
    // as silence), and so is the rest.
    void joinUpTo(std::size_t samples) { joinLimit_ = samples; }

    // The piece of `wav` (a complete WAV file) that starts `startSample` samples into the recording.
    void add(QByteArray wav, std::size_t startSample);
    // How long the recognizer took over the last piece it answered, in milliseconds.
    qint64 lastPieceMs() const { return lastPieceMs_; }
    // False once a piece failed: the rest will cover it, further pieces would be wasted.
    bool accepting() const { return !failedFrom_; }
    // The recording is complete (`recording` is its whole WAV) and the pieces cover it up to `coveredUpTo`:
    // recognizes the rest once the pieces are done and hands over the merged result, or the failure of a piece of the
    // rest. With nothing added, `coveredUpTo` 0: the whole recording in pieces.
    void finish(const QByteArray& recording, std::size_t coveredUpTo, Completion<TranscriptionResult> done);

    // Segments shifted by the piece's start and appended; texts joined into one (PieceJoining).
    static void merge(TranscriptionResult& into, const TranscriptionResult& piece, std::size_t startSample);
    // The start prompt and as many of the last words recognized so far as fit whisper's prompt window: the
    // recognized text is shortened, never the start prompt.
    static QString promptFrom(const QString& startPrompt, const QString& recognized);

private:
    struct Piece
    {
        QByteArray wav;
        std::size_t startSample = 0;
    };

    void hold(Piece piece);
    // The held pieces as one, silence where the recording had no speech between them.
    Piece joinedHeld() const;
    void sendNext();
    // Queues the pieces of the recording from the first piece that failed, or from where the pieces end.
    void cutRest();
    void send(const Piece& piece, bool isRest);
    void recognized(std::size_t startSample, std::size_t endSample, bool isRest,
                    const Result<TranscriptionResult>& result);
    void complete(const Result<TranscriptionResult>& result);

    Transcriber transcribe_;
    QString startPrompt_;
    std::deque<Piece> waiting_;
    std::size_t joinLimit_ = 0;
    std::vector<Piece> held_;
    bool busy_ = false;
    QElapsedTimer sent_;
    qint64 lastPieceMs_ = 0;
    std::optional<std::size_t> failedFrom_;
    TranscriptionResult merged_;
    // Set by finish.
    QByteArray recording_;
    std::size_t coveredUpTo_ = 0;
    Completion<TranscriptionResult> done_;
    bool restCut_ = false;
};
