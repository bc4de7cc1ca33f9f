#include "quality/SpeechCleaning.h"

#include "core/Regex.h"
#include "quality/SpeechQuality.h"
#include "quality/SpeechRules.h"

#include <algorithm>
#include <optional>

namespace
{

using Kind = SpeechIssue::Kind;
using Range = SpeechIssue::Range;

bool isPunctuationEnd(QChar character)
{
    return character != u'\n' && SpeechRules::isSentenceEnd(character.unicode());
}

std::optional<QString> replacementForHint(const QString& hint)
{
    for (const SpeechRules::PhrasingRule& rule : SpeechRules::phrasingRules()) {
        if (rule.hint == hint)
            return rule.replacement;
    }
    return std::nullopt;
}

// True when only whitespace stands between the position and the start of the text or a sentence end.
bool startsSentence(const QString& text, qsizetype position)
{
    while (position > 0 && text.at(position - 1).isSpace())
        --position;
    return position == 0 || isPunctuationEnd(text.at(position - 1));
}

// The length of the blanks and sentence-end marks that directly follow a word, or 0 when no mark follows.
qsizetype closingPunctuation(QStringView after)
{
    const auto blanks =
        std::find_if(after.begin(), after.end(), [](QChar unit) { return unit != u' ' && unit != u'\t'; });
    const auto marks = std::find_if_not(blanks, after.end(), isPunctuationEnd);
    return marks == blanks ? 0 : marks - after.begin();
}

// Cuts a filler or a repeated word together with the comma and space that set it off.
void cutWithPunctuation(QString& text, const SpeechIssue& issue)
{
    qsizetype location = issue.range.location;
    qsizetype length = issue.range.length;
    const QStringView before =
        QStringView(text).mid(std::max<qsizetype>(location - 2, 0), std::min<qsizetype>(location, 2));
    if (before.endsWith(u", ") || before.endsWith(u',')) {
        const qsizetype taken = before.endsWith(u", ") ? 2 : 1;
        location -= taken;
        length += taken;
        if (location + length < text.size() && text.at(location + length) == u',')
            ++length;
    } else {
        const QStringView after = QStringView(text).mid(location + length);
        // The comma after a repeated word belongs to the first occurrence, which stays.
        const bool takesComma = issue.kind != Kind::repetition;
        const qsizetype ownSentenceEnd = startsSentence(text, location) ? closingPunctuation(after) : 0;
        if (ownSentenceEnd > 0)
            length += ownSentenceEnd; // a filler that was a sentence of its own goes with its full stop
        else if (takesComma && after.startsWith(u", "))
            length += 2;
        else if ((takesComma && after.startsWith(u',')) || after.startsWith(u' '))
            length += 1;
    }
    text.remove(location, length);
}

bool liesWithin(const Range& range, const QString& text)
{
    return range.location >= 0 && range.length >= 0 && range.end() <= text.size();
}

QString tidy(const QString& text)
{
    static const Regex runOfSpaces(QStringLiteral("[ \\t]{2,}"));
    static const Regex spaceBeforePunctuation(QStringLiteral("\\s+([,.!?…])"));
    const QString spaced =
        spaceBeforePunctuation.replaceAll(runOfSpaces.replaceAll(text, QStringLiteral(" ")), QStringLiteral("$1"));
    return SpeechCleaning::capitalizeSentences(spaced.trimmed());
}

} // namespace

namespace SpeechCleaning
{

QString clean(const QString& text, const QList<SpeechIssue>& issues)
{
    QList<SpeechIssue> removable;
    std::copy_if(issues.cbegin(), issues.cend(), std::back_inserter(removable),
                 [](const SpeechIssue& issue) { return issue.removable; });
    // From the end backwards, so that every edit leaves the ranges still to be processed where they were.
    std::stable_sort(removable.begin(), removable.end(), [](const SpeechIssue& left, const SpeechIssue& right) {
        return left.range.location > right.range.location;
    });
    QString result = text;
    for (const SpeechIssue& issue : removable) {
        if (!liesWithin(issue.range, result))
            continue;
        if (issue.kind == Kind::phrasing) {
            if (const std::optional<QString> replacement = replacementForHint(issue.hint))
                result.replace(issue.range.location, issue.range.length, *replacement);
        } else {
            cutWithPunctuation(result, issue);
        }
    }
    return tidy(result);
}

CleanedText autoClean(const QString& text)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    const auto removedCount =
        std::count_if(issues.cbegin(), issues.cend(), [](const SpeechIssue& issue) { return issue.removable; });
    if (removedCount == 0)
        return {text, 0};
    return {clean(text, issues), removedCount};
}

QString capitalizeSentences(const QString& text)
{
    QString result;
    result.reserve(text.size());
    bool capitalizeNext = true;
    for (qsizetype index = 0; index < text.size();) {
        const bool pair =
            text.at(index).isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate();
        const qsizetype width = pair ? 2 : 1;
        const char32_t character =
            pair ? QChar::surrogateToUcs4(text.at(index), text.at(index + 1)) : text.at(index).unicode();
        const QStringView written = QStringView(text).mid(index, width);
        if (QChar::isLetter(character) && capitalizeNext) {
            result += written.toString().toUpper();
            capitalizeNext = false;
        } else {
            result += written;
            if (SpeechRules::isSentenceEnd(character))
                capitalizeNext = true;
            else if (QChar::isNumber(character))
                capitalizeNext = false;
        }
        index += width;
    }
    return result;
}

} // namespace SpeechCleaning
