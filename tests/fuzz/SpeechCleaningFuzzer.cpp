// The speech-quality analysis of a dictated phrase and the two clean-ups. A cleaned text is made of the
// input's own characters: nothing but the blanks it collapses, the capitals it starts sentences with and the
// words of the phrasing rules' replacements may appear that the input did not hold.
#include "FuzzSupport.h"
#include "quality/SpeechQuality.h"
#include "text/TranscriptCleaner.h"

#include <QSet>

namespace
{

// Code points; a surrogate that is not half of a pair stands for itself.
QSet<char32_t> codePoints(const QString& text)
{
    QSet<char32_t> points;
    for (qsizetype index = 0; index < text.size(); ++index) {
        const QChar unit = text.at(index);
        if (unit.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate()) {
            points.insert(QChar::surrogateToUcs4(unit, text.at(index + 1)));
            ++index;
        } else {
            points.insert(unit.unicode());
        }
    }
    return points;
}

QSet<char32_t> withCapitals(const QSet<char32_t>& points)
{
    QSet<char32_t> result = points;
    for (const char32_t point : points) {
        const QString single = QString::fromUcs4(&point, 1);
        result.unite(codePoints(single.toUpper()));
    }
    return result;
}

void requireWithin(const QString& output, const QSet<char32_t>& allowed, const char* what, const QString& input)
{
    for (const char32_t point : codePoints(output)) {
        if (!allowed.contains(point))
            Fuzz::require(
                false, what,
                QStringLiteral("U+%1 in «%2» from «%3»").arg(point, 4, 16, QLatin1Char('0')).arg(output, input));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = Fuzz::text(Fuzz::bytes(data, size));
    static const QSet<char32_t> replacementPoints = [] {
        QSet<char32_t> points{U' '};
        for (const SpeechQuality::PhrasingRule& rule : SpeechQuality::phrasingRules()) {
            if (rule.replacement)
                points.unite(withCapitals(codePoints(*rule.replacement)));
        }
        return points;
    }();
    const QSet<char32_t> own = codePoints(text);

    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    for (qsizetype index = 0; index < issues.size(); ++index) {
        const SpeechIssue::Range& range = issues[index].range;
        Fuzz::require(range.location >= 0 && range.length >= 0 && range.location + range.length <= text.size(),
                      "a finding lies within the text", text);
        if (index > 0)
            Fuzz::require(issues[index - 1].range.location <= range.location, "findings come in text order", text);
    }
    const int score = SpeechQuality::score(issues);
    Fuzz::require(score >= 1 && score <= 5, "a score is 1 to 5", text);
    const QSet<char32_t> allowed = withCapitals(own).unite(replacementPoints);
    requireWithin(SpeechQuality::clean(text, issues), allowed, "the cleaned phrase keeps to the input's characters",
                  text);
    const SpeechQuality::CleanedText cleaned = SpeechQuality::autoClean(text);
    if (cleaned.removedCount == 0)
        Fuzz::require(cleaned.text == text, "nothing removable leaves the text as it is", text);

    qsizetype previousEnd = 0;
    for (const SpeechIssue::Range& sentence : SpeechQuality::sentenceRanges(text)) {
        Fuzz::require(sentence.location >= previousEnd && sentence.length > 0 &&
                          sentence.location + sentence.length <= text.size(),
                      "sentences follow one another within the text", text);
        previousEnd = sentence.location + sentence.length;
    }

    QSet<char32_t> ownWithSpace = own;
    ownWithSpace.insert(U' ');
    requireWithin(TranscriptCleaner::clean(text), ownWithSpace,
                  "the cleaned transcript keeps to the input's characters", text);
    return 0;
}
