// The formatter on any text, with macros, and the auto-formatter on any list of timed segments, ahead of
// the formatter as in a dictation; typography after the formatter, with any of its rules.
#include "FuzzSupport.h"
#include "text/AutoFormatter.h"
#include "text/TextFormatter.h"
#include "text/TextKeys.h"
#include "text/Typography.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    TextFormatter::Config config;
    config.format = provider.ConsumeBool() ? TextFormatter::OutputFormat::plain : TextFormatter::OutputFormat::markdown;
    QSet<QString> triggers;
    for (int index = provider.ConsumeIntegralInRange(0, 3); index > 0; --index) {
        const QString trigger = TextKeys::normalize(Fuzz::consumeText(provider, 40));
        config.macros.insert(trigger, Fuzz::consumeText(provider, 80));
        triggers.insert(trigger);
    }
    std::vector<SpeechSegment> segments;
    // Times from the whole range: a recognizer may report anything.
    for (int index = provider.ConsumeIntegralInRange(0, 24); index > 0; --index)
        segments.push_back({Fuzz::consumeText(provider, 120), provider.ConsumeIntegral<int64_t>(),
                            provider.ConsumeIntegral<int64_t>(), 0, 0});
    const Typography::Options typography{.quotes = provider.ConsumeBool(),
                                         .dashes = provider.ConsumeBool(),
                                         .numbers = provider.ConsumeBool(),
                                         .noBreakSpaces = provider.ConsumeBool(),
                                         .romanCenturies = provider.ConsumeBool(),
                                         .minusSign = provider.ConsumeBool(),
                                         .numberSign = provider.ConsumeBool(),
                                         .ellipsis = provider.ConsumeBool(),
                                         .format = config.format};
    const QString text = Fuzz::text(QByteArray::fromStdString(provider.ConsumeRemainingBytesAsString()));

    Typography::apply(TextFormatter::process(text, config), typography);
    Fuzz::require(
        Typography::apply(
            text, {.quotes = false, .dashes = false, .numbers = false, .corrections = false, .format = config.format})
                .text == text,
        "typography with every rule off gives back the text", text);
    const QString normalized = TextKeys::normalize(text);
    Fuzz::require(TextKeys::normalize(normalized) == normalized, "normalizing twice changes nothing", text);
    Fuzz::require(TextKeys::foldInPlace(text).size() == text.size(), "folding keeps positions", text);
    TextFormatter::splitSentences(text);
    TextFormatter::headingText(text);
    AutoFormatter::stripOrdinal(text);
    if (const std::optional<QString> annotated = AutoFormatter::annotate(segments, triggers))
        TextFormatter::process(*annotated, config);
    return 0;
}
