// sherpa-onnx-offline's standard output: the JSON line with the text, tokens and timestamps.
#include "FuzzSupport.h"
#include "engines/GigaAMEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray output(reinterpret_cast<const char*>(data), qsizetype(size));
    const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(output);
    if (!result)
        return 0;
    Fuzz::requireSegments(result.value().segments, output);
    for (const SpeechSegment& segment : result.value().segments)
        Fuzz::require(!segment.text.startsWith(u' ') && !segment.text.endsWith(u' '), "a segment is trimmed",
                      QString::fromUtf8(output));
    return 0;
}
