#include "recording/RecognitionChunks.h"

#include "audio/WavWriter.h"
#include "core/MainThread.h"
#include "engines/GigaAMEngine.h"
#include "engines/WhisperServer.h"
#include "recording/ChunkCutter.h"
#include "text/PieceJoining.h"

#include <QPointer>

#include <algorithm>
#include <span>

namespace
{

constexpr std::size_t samplesPerMs = 16;
constexpr int sampleRate = 16000;

std::size_t sampleCount(const QByteArray& wav)
{
    return static_cast<std::size_t>(std::max<qsizetype>(wav.size() - WavWriter::headerSize, 0)) / 2;
}

// Neighbouring pieces joined while they span at most `limit` samples; none joined without a limit.
std::vector<ChunkCutter::Piece> joined(std::vector<ChunkCutter::Piece> pieces, std::size_t limit)
{
    if (!limit || pieces.empty())
        return pieces;
    std::vector<ChunkCutter::Piece> requests{pieces.front()};
    for (const ChunkCutter::Piece& piece : pieces) {
        if (piece.to - requests.back().from > limit)
            requests.push_back(piece);
        else
            requests.back().to = piece.to;
    }
    return requests;
}

} // namespace

RecognitionChunks::RecognitionChunks(WhisperServer& server, QString startPrompt, QObject* parent)
    : RecognitionChunks(
          [&server](const QByteArray& wav, const QString& prompt, Completion<TranscriptionResult> completion) {
              server.transcribe(wav, prompt, std::move(completion));
          },
          std::move(startPrompt), parent)
{}

RecognitionChunks::RecognitionChunks(Transcriber transcribe, QString startPrompt, QObject* parent)
    : QObject(parent), transcribe_(std::move(transcribe)), startPrompt_(std::move(startPrompt))
{}

std::unique_ptr<RecognitionChunks> RecognitionChunks::ofGigaAM()
{
    // Its answers come on the main thread from the kept process, on a worker of its own without one.
    return std::make_unique<RecognitionChunks>(
        [](const QByteArray& wav, const QString&, Completion<TranscriptionResult> completion) {
            GigaAMEngine::shared().transcribe(
                wav, [completion = std::move(completion)](Result<TranscriptionResult> result) mutable {
                    MainThread::post(
                        [completion = std::move(completion), result = std::move(result)] { completion(result); });
                });
        },
        QString());
}

void RecognitionChunks::add(QByteArray wav, std::size_t startSample)
{
    if (failedFrom_)
        return;
    if (joinLimit_) {
        hold(Piece{std::move(wav), startSample});
        return;
    }
    waiting_.push_back(Piece{std::move(wav), startSample});
    sendNext();
}

void RecognitionChunks::hold(Piece piece)
{
    const std::size_t end = piece.startSample + sampleCount(piece.wav);
    if (!held_.empty() && end - held_.front().startSample > joinLimit_) {
        waiting_.push_back(joinedHeld());
        held_.clear();
        sendNext();
    }
    held_.push_back(std::move(piece));
}

RecognitionChunks::Piece RecognitionChunks::joinedHeld() const
{
    const std::size_t start = held_.front().startSample;
    const std::size_t end = held_.back().startSample + sampleCount(held_.back().wav);
    std::vector<std::int16_t> samples(end - start, 0);
    for (const Piece& piece : held_) {
        const auto* data = reinterpret_cast<const std::int16_t*>(piece.wav.constData() + WavWriter::headerSize);
        std::copy_n(data, sampleCount(piece.wav),
                    samples.begin() + static_cast<std::ptrdiff_t>(piece.startSample - start));
    }
    return Piece{WavWriter::data(samples, sampleRate), start};
}

void RecognitionChunks::finish(const QByteArray& recording, std::size_t coveredUpTo,
                               Completion<TranscriptionResult> done)
{
    recording_ = recording;
    // Held pieces were never sent: the rest starts where they do.
    coveredUpTo_ = held_.empty() ? coveredUpTo : std::min(coveredUpTo, held_.front().startSample);
    held_.clear();
    done_ = std::move(done);
    sendNext();
}

void RecognitionChunks::sendNext()
{
    if (busy_)
        return;
    if (waiting_.empty() && done_ && !restCut_)
        cutRest();
    if (!waiting_.empty()) {
        Piece piece = std::move(waiting_.front());
        waiting_.pop_front();
        send(piece, restCut_);
    } else if (done_ && restCut_) {
        complete(merged_);
    }
}

void RecognitionChunks::cutRest()
{
    restCut_ = true;
    const std::size_t start = failedFrom_.value_or(coveredUpTo_);
    const auto count = static_cast<std::size_t>(std::max<qsizetype>(recording_.size() - WavWriter::headerSize, 0)) / 2;
    if (start >= count)
        return;
    // The recorder's samples, little-endian as on every platform we build for.
    const std::span<const std::int16_t> rest(
        reinterpret_cast<const std::int16_t*>(recording_.constData() + WavWriter::headerSize) + start, count - start);
    for (const ChunkCutter::Piece& piece : joined(ChunkCutter::pieces(rest), joinLimit_))
        waiting_.push_back(
            Piece{WavWriter::data(rest.subspan(piece.from, piece.to - piece.from), sampleRate), start + piece.from});
}

void RecognitionChunks::send(const Piece& piece, bool isRest)
{
    busy_ = true;
    sent_.start();
    const QPointer<RecognitionChunks> self(this);
    const std::size_t start = piece.startSample;
    const std::size_t end = start + sampleCount(piece.wav);
    transcribe_(piece.wav, promptFrom(startPrompt_, merged_.text),
                [self, start, end, isRest](Result<TranscriptionResult> result) {
                    if (self)
                        self->recognized(start, end, isRest, result);
                });
}

void RecognitionChunks::recognized(std::size_t startSample, std::size_t endSample, bool isRest,
                                   const Result<TranscriptionResult>& result)
{
    busy_ = false;
    lastPieceMs_ = sent_.elapsed();
    if (result && onTimed)
        onTimed(static_cast<qint64>((endSample - startSample) / samplesPerMs), lastPieceMs_);
    if (result) {
        merge(merged_, result.value(), startSample);
        if (onPiece) {
            const QPointer<RecognitionChunks> self(this);
            onPiece(merged_, endSample);
            // The owner may let go of the pieces from its callback.
            if (!self)
                return;
        }
    }
    if (!result && isRest) {
        waiting_.clear();
        complete(Result<TranscriptionResult>(result.error()));
        return;
    }
    if (!result && !failedFrom_) {
        failedFrom_ = startSample;
        waiting_.clear();
    }
    sendNext();
}

void RecognitionChunks::complete(const Result<TranscriptionResult>& result)
{
    // The owner may let go of this object from the completion.
    const Completion<TranscriptionResult> done = std::move(done_);
    done_ = nullptr;
    done(result);
}

void RecognitionChunks::merge(TranscriptionResult& into, const TranscriptionResult& piece, std::size_t startSample)
{
    const auto offsetMs = static_cast<std::int64_t>(startSample / samplesPerMs);
    for (SpeechSegment segment : piece.segments) {
        segment.startMs += offsetMs;
        segment.endMs += offsetMs;
        into.segments.push_back(std::move(segment));
    }
    const QString text = piece.text.trimmed();
    if (text.isEmpty())
        return;
    into.text = into.text.isEmpty() ? text : PieceJoining::join({into.text, text});
}

QString RecognitionChunks::promptFrom(const QString& startPrompt, const QString& recognized)
{
    const qsizetype room = qsizetype(promptTokens) * bytesPerToken - startPrompt.toUtf8().size() - 1;
    qsizetype start = recognized.size();
    for (qsizetype bytes = 0; start > 0; --start) {
        const char16_t unit = recognized.at(start - 1).unicode();
        // A surrogate counts 2, so a pair counts the 4 bytes of its character.
        bytes += unit < 0x80 ? 1 : unit < 0x800 || QChar::isSurrogate(unit) ? 2 : 3;
        if (bytes > room)
            break;
    }
    QString tail = recognized.mid(start);
    // Whole words only.
    if (start > 0 && recognized.at(start - 1) != QLatin1Char(' ')) {
        const qsizetype space = tail.indexOf(QLatin1Char(' '));
        tail = space < 0 ? QString() : tail.mid(space + 1);
    }
    if (tail.isEmpty())
        return startPrompt;
    return startPrompt.isEmpty() ? tail : startPrompt + QLatin1Char(' ') + tail;
}
