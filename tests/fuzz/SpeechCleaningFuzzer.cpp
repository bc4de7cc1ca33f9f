// The speech-quality analysis of a dictated phrase and the two clean-ups. A cleaned text is made of the
// input's own characters: nothing but the blanks it collapses, the capitals it starts sentences with and the
// words of the phrasing rules' replacements may appear that the input did not hold.
#include "FuzzSupport.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"
#include "quality/SpeechRules.h"
#include "text/TranscriptCleaner.h"

#include <QSet>

#include <algorithm>

namespace
{

// UTF-16 code units, those of the upper case included: a capital outside the basic plane is a pair of its own.
QSet<QChar> withCapitals(const QString& text)
{
    const QString upper = text.toUpper();
    return QSet<QChar>(text.cbegin(), text.cend()).unite(QSet<QChar>(upper.cbegin(), upper.cend()));
}

void requireWithin(const QString& output, const QSet<QChar>& allowed, const char* what, const QString& input)
{
    Fuzz::require(std::ranges::all_of(output, [&](QChar unit) { return allowed.contains(unit); }), what,
                  QStringLiteral("«%1» from «%2»").arg(output, input));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = Fuzz::text(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    static const QSet<QChar> replacements = [] {
        QSet<QChar> units{u' '};
        for (const SpeechRules::PhrasingRule& rule : SpeechRules::phrasingRules())
            units.unite(withCapitals(rule.replacement.value_or(QString())));
        return units;
    }();

    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    for (qsizetype index = 0; index < issues.size(); ++index) {
        const SpeechIssue::Range& range = issues[index].range;
        Fuzz::require(range.location >= 0 && range.length >= 0 && range.location + range.length <= text.size(),
                      "a finding lies within the text", text);
        Fuzz::require(index == 0 || issues[index - 1].range.location <= range.location, "findings come in text order",
                      text);
    }
    SpeechQuality::score(issues);
    requireWithin(SpeechCleaning::clean(text, issues), withCapitals(text).unite(replacements),
                  "the cleaned phrase keeps to the input's characters", text);
    const SpeechCleaning::CleanedText cleaned = SpeechCleaning::autoClean(text);
    Fuzz::require(cleaned.removedCount > 0 || cleaned.text == text, "nothing removable leaves the text as it is", text);

    qsizetype previousEnd = 0;
    for (const SpeechIssue::Range& sentence : SpeechQuality::sentenceRanges(text)) {
        Fuzz::require(sentence.location >= previousEnd && sentence.length > 0 &&
                          sentence.location + sentence.length <= text.size(),
                      "sentences follow one another within the text", text);
        previousEnd = sentence.location + sentence.length;
    }
    // A line or paragraph separator becomes a line feed.
    QSet<QChar> transcriptUnits = QSet<QChar>(text.cbegin(), text.cend()).unite({u' '});
    if (text.contains(QChar(0x2028)) || text.contains(QChar(0x2029)))
        transcriptUnits.insert(u'\n');
    requireWithin(TranscriptCleaner::clean(text), transcriptUnits,
                  "the cleaned transcript keeps to the input's characters", text);
    return 0;
}
