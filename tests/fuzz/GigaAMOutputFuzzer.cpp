// sherpa-onnx-offline's standard output: the JSON line with the text, tokens and timestamps.
#include "FuzzSupport.h"
#include "engines/GigaAMEngine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray output = Fuzz::bytes(data, size);
    const Result<TranscriptionResult> result = GigaAMEngine::parseOutput(output);
    if (!result)
        return 0;
    for (const SpeechSegment& segment : result.value().segments) {
        Fuzz::require(!segment.text.isEmpty(), "a segment has text", QString::fromUtf8(output));
        Fuzz::require(!segment.text.startsWith(QLatin1Char(' ')) && !segment.text.endsWith(QLatin1Char(' ')),
                      "a segment is trimmed", QString::fromUtf8(output));
        Fuzz::require(segment.startMs >= 0 && segment.endMs >= segment.startMs, "a segment ends after it starts",
                      QString::fromUtf8(output));
    }
    return 0;
}
