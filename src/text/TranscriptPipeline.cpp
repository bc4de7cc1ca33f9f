#include "text/TranscriptPipeline.h"

#include "core/Log.h"
#include "core/SettingsStore.h"
#include "text/AutoFormatter.h"
#include "text/Corrections.h"
#include "text/Hallucinations.h"
#include "text/MacroStore.h"
#include "text/PieceJoining.h"
#include "text/TextFormatter.h"
#include "text/TranscriptCleaner.h"
#include "text/Typography.h"

#include <QSet>
#include <QStringList>

#include <vector>

namespace TranscriptPipeline
{
namespace
{

// The user's typography for prose; the profiles of other programs leave quotes, dashes and numbers as recognized.
Typography::Options typographyFor(const TextProfiles::Shaping& shaping, const SettingsStore& settings)
{
    Typography::Options options = Typography::optionsFrom(settings);
    if (!shaping.typography) {
        options.quotes = options.dashes = options.numbers = options.noBreakSpaces = false;
        options.romanCenturies = options.minusSign = options.numberSign = options.ellipsis = false;
    }
    options.corrections = shaping.corrections;
    return options;
}

QString withoutTrailingSpace(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

} // namespace

QString textOf(const TranscriptionResult& result, TextProfile profile)
{
    const std::vector<CorrectionPair> pairs = Corrections::load();
    std::vector<SpeechSegment> kept;
    QString text;
    if (!result.segments.empty()) {
        QStringList texts;
        for (const SpeechSegment& segment : result.segments) {
            const QString corrected = Corrections::apply(TranscriptCleaner::clean(segment.text), pairs);
            if (corrected.isEmpty())
                continue;
            if (Hallucinations::shouldDrop(corrected, segment.noSpeechProb, segment.avgLogprob)) {
                Log::info(QStringLiteral("Отброшен сегмент-галлюцинация: «%1» (noSpeech=%2, logprob=%3)")
                              .arg(corrected)
                              .arg(segment.noSpeechProb, 0, 'f', 2)
                              .arg(segment.avgLogprob, 0, 'f', 2));
                continue;
            }
            SpeechSegment keptSegment = segment;
            keptSegment.text = corrected;
            kept.push_back(keptSegment);
            texts << corrected;
        }
        text = PieceJoining::join(texts);
    } else {
        text = Corrections::apply(TranscriptCleaner::clean(result.text), pairs);
        if (Hallucinations::shouldDrop(text, 0.0, 0.0))
            text.clear();
    }

    const TextProfiles::Shaping& shaping = TextProfiles::shaping(profile);
    SettingsStore& settings = SettingsStore::shared();
    if (!text.isEmpty() && settings.boolForKey(SettingsKey::formattingEnabled)) {
        TextFormatter::Config config;
        config.macros = MacroStore::loadNormalized();
        config.format = TextFormatter::outputFormatNamed(
            settings.stringForKey(SettingsKey::outputFormat).value_or(QStringLiteral("markdown")));
        if (shaping.autoFormat && settings.boolForKey(SettingsKey::autoFormat)) {
            const QList<QString> triggers = config.macros.keys();
            if (const std::optional<QString> annotated =
                    AutoFormatter::annotate(kept, QSet<QString>(triggers.begin(), triggers.end()))) {
                text = *annotated;
                Log::info(QStringLiteral("Авторазметка применена (%1 сегментов)").arg(kept.size()));
            }
        }
        text = TextFormatter::process(text, config);
    }
    if (shaping.firstCapital)
        text = TextFormatter::capitalizeFirstLetter(text);
    text = TextProfiles::withFinalPeriod(Typography::apply(text, typographyFor(shaping, settings)).text,
                                         shaping.finalPeriod);
    return shaping.trimEnd ? withoutTrailingSpace(text) : text;
}

void warmUp()
{
    TranscriptionResult sample;
    sample.segments.push_back(
        {QStringLiteral("Проверка: в 2026 году, с 5 по 10 декабря, «текст» — новая строка."), 0, 2000, 0, 0});
    textOf(sample);
}

} // namespace TranscriptPipeline
