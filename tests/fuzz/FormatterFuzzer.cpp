// The formatter on any text, with macros, and the auto-formatter on any list of timed segments, ahead of
// the formatter as in a dictation.
#include "FuzzSupport.h"
#include "text/AutoFormatter.h"
#include "text/TextFormatter.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace
{

QString consumeText(FuzzedDataProvider& provider, size_t limit)
{
    const std::string bytes = provider.ConsumeRandomLengthString(limit);
    return Fuzz::text(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    TextFormatter::Config config;
    config.format = provider.ConsumeBool() ? TextFormatter::OutputFormat::plain : TextFormatter::OutputFormat::markdown;
    const int macroCount = provider.ConsumeIntegralInRange(0, 3);
    QSet<QString> triggers;
    for (int index = 0; index < macroCount; ++index) {
        const QString trigger = TextFormatter::normalize(consumeText(provider, 40));
        config.macros.insert(trigger, consumeText(provider, 80));
        triggers.insert(trigger);
    }
    std::vector<SpeechSegment> segments;
    const int segmentCount = provider.ConsumeIntegralInRange(0, 24);
    for (int index = 0; index < segmentCount; ++index) {
        SpeechSegment segment;
        segment.startMs = provider.ConsumeIntegral<int64_t>();
        segment.endMs = provider.ConsumeIntegral<int64_t>();
        segment.text = consumeText(provider, 120);
        segments.push_back(segment);
    }
    const QString text = Fuzz::text(QByteArray::fromStdString(provider.ConsumeRemainingBytesAsString()));

    TextFormatter::process(text, config);
    const QString normalized = TextFormatter::normalize(text);
    Fuzz::require(TextFormatter::normalize(normalized) == normalized, "normalizing twice changes nothing", text);
    Fuzz::require(TextFormatter::foldInPlace(text).size() == text.size(), "folding keeps positions", text);
    TextFormatter::splitSentences(text);
    TextFormatter::headingText(text);
    AutoFormatter::stripOrdinal(text);
    if (const std::optional<QString> annotated = AutoFormatter::annotate(segments, triggers))
        TextFormatter::process(*annotated, config);
    return 0;
}
