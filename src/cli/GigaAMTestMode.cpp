#include "cli/GigaAMTestMode.h"

#include "audio/WavWriter.h"
#include "core/Console.h"
#include "engines/GigaAMEngine.h"
#include "recording/RecognitionChunks.h"
#include "transcript/Segments.h"

#include <QEventLoop>
#include <QFile>

#include <memory>
#include <optional>
#include <semaphore>

namespace
{

void printResult(const TranscriptionResult& result, bool asJson)
{
    if (asJson) {
        Console::write(Segments::toListJson(result.segments));
        return;
    }
    Console::print(QStringLiteral("ТЕКСТ: ") + result.text);
    Console::print(QStringLiteral("СЕГМЕНТОВ: %1").arg(result.segments.size()));
    for (const SpeechSegment& segment : result.segments)
        Console::print(QStringLiteral("  [%1–%2 мс] %3")
                           .arg(QString::number(segment.startMs), QString::number(segment.endMs), segment.text));
}

int printOutcome(const Result<TranscriptionResult>& result, bool asJson)
{
    if (!result) {
        Console::print(QStringLiteral("ОШИБКА: ") + result.error().description());
        return 1;
    }
    printResult(result.value(), asJson);
    return 0;
}

// A WAV as the recorder writes it (16 kHz, mono, 16-bit, a 44-byte header), which the cutter can cut at its pauses.
bool isRecorderWav(const QByteArray& wav)
{
    const QByteArray header = WavWriter::header(0, 16000);
    return wav.size() >= WavWriter::headerSize && wav.left(4) == header.left(4) &&
           wav.mid(8, 28) == header.mid(8, 28) && wav.mid(36, 4) == header.mid(36, 4);
}

int recognizeWhole(const QByteArray& wav, bool asJson)
{
    int status = 1;
    std::binary_semaphore done(0);
    // The engine completes on its own thread, so the main thread may simply wait.
    GigaAMEngine::shared().transcribe(wav, [&](const Result<TranscriptionResult>& result) {
        status = printOutcome(result, asJson);
        done.release();
    });
    done.acquire();
    return status;
}

int recognizeInPieces(const QByteArray& wav, bool asJson)
{
    std::optional<int> status;
    QEventLoop loop;
    const std::unique_ptr<RecognitionChunks> pieces = RecognitionChunks::ofGigaAM();
    // A recording without a voiced piece completes at once.
    pieces->finish(wav, 0, [&](const Result<TranscriptionResult>& result) {
        status = printOutcome(result, asJson);
        loop.quit();
    });
    if (!status)
        loop.exec();
    return *status;
}

} // namespace

namespace GigaAMTestMode
{

int run(const QStringList& arguments)
{
    QFile file(arguments.at(2));
    if (!file.open(QIODevice::ReadOnly)) {
        Console::print(QStringLiteral("не удалось прочитать wav"));
        return 1;
    }
    const QByteArray wav = file.readAll();
    const bool asJson = arguments.contains(QStringLiteral("--json"));
    // Before the recording is looked at: a silent one would otherwise print an empty text.
    if (const std::optional<Error> problem = GigaAMEngine::modelProblem())
        return printOutcome(*problem, asJson);

    // In pieces, as a dictation: the model hears no more than the cutter's limit at a time. Other WAVs go whole to
    // the recognizer, which converts them.
    return isRecorderWav(wav) ? recognizeInPieces(wav, asJson) : recognizeWhole(wav, asJson);
}

} // namespace GigaAMTestMode
