#include "cli/GigaamTestMode.h"

#include "core/Console.h"
#include "engines/GigaAMEngine.h"
#include "model/Segments.h"

#include <QFile>

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

} // namespace

namespace GigaamTestMode
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

    int status = 1;
    std::binary_semaphore done(0);
    // The engine completes on its own thread, so the main thread may simply wait.
    GigaAMEngine::shared().transcribe(wav, [&](const Result<TranscriptionResult>& result) {
        if (result) {
            printResult(result.value(), asJson);
            status = 0;
        } else {
            Console::print(QStringLiteral("ОШИБКА: ") + result.error().description());
        }
        done.release();
    });
    done.acquire();
    return status;
}

} // namespace GigaamTestMode
