#include "quality/SpeechQuality.h"

#include "core/Regex.h"
#include "quality/SpeechRules.h"

#include <QHash>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace
{

using Kind = SpeechIssue::Kind;
using Range = SpeechIssue::Range;

constexpr qsizetype longSentenceWords = 30;
constexpr qsizetype overloadedSentenceCommas = 6;
constexpr qsizetype repeatedWhichCount = 2;
constexpr qsizetype openerRunLength = 3;
constexpr qsizetype frequentWordOccurrences = 3;
// A word is frequent when it makes up at least one fortieth of all words.
constexpr qsizetype frequentWordShare = 40;
constexpr qsizetype frequentWordMinimumLength = 4;
constexpr qsizetype excerptLength = 34;

// Between sentences each half of a surrogate pair (an emoji, say) is skipped like whitespace.
bool isBlankUnit(QChar unit)
{
    return unit.isSpace() || unit.isSurrogate();
}

Range rangeOf(const Regex::Match& match, int group = 0)
{
    return {match.start(group), match.length(group)};
}

QStringView sliceOf(const QString& text, const Range& range)
{
    return QStringView(text).mid(range.location, range.length);
}

// The comparison key of a word: lower case, "ё" folded to "е".
QString wordKey(const QString& word)
{
    return word.toLower().replace(u'ё', u'е');
}

const Regex& wordPattern()
{
    static const Regex word(QStringLiteral("\\p{L}+"));
    return word;
}

// Where the first `count` user-perceived characters of the text end (the text's length when it has fewer).
qsizetype endOfCharacters(const QString& text, qsizetype count)
{
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    qsizetype position = 0;
    for (qsizetype taken = 0; taken < count && position >= 0 && position < text.size(); ++taken)
        position = boundaries.toNextBoundary();
    return position < 0 ? text.size() : position;
}

bool hasAtLeastCharacters(const QString& text, qsizetype count)
{
    return text.size() >= count && endOfCharacters(text, count - 1) < text.size();
}

// A sentence as quoted in a hint: trimmed, and cut after 34 characters.
QString sentenceExcerpt(QStringView sentence)
{
    const QString trimmed = sentence.trimmed().toString();
    const qsizetype end = endOfCharacters(trimmed, excerptLength);
    return end < trimmed.size() ? trimmed.left(end) + u'…' : trimmed;
}

// The findings recorded so far, and the rule that a later finding may not overlap an earlier one.
class Findings
{
public:
    bool isFree(const Range& range) const
    {
        return std::none_of(issues_.cbegin(), issues_.cend(),
                            [&](const SpeechIssue& issue) { return issue.range.intersects(range); });
    }

    void add(SpeechIssue issue) { issues_.append(std::move(issue)); }

    void addIfFree(SpeechIssue issue)
    {
        if (isFree(issue.range))
            add(std::move(issue));
    }

    QList<SpeechIssue> sortedByLocation() &&
    {
        std::stable_sort(issues_.begin(), issues_.end(), [](const SpeechIssue& left, const SpeechIssue& right) {
            return left.range.location < right.range.location;
        });
        return std::move(issues_);
    }

private:
    QList<SpeechIssue> issues_;
};

void findFillers(const QString& text, Findings& findings)
{
    for (const Regex& pattern : SpeechRules::fillerPatterns()) {
        for (const Regex::Match& match : pattern.matchAll(text))
            findings.addIfFree(
                {Kind::filler, rangeOf(match, 1), match.captured(1), QStringLiteral("слово-паразит"), true, {}});
    }
}

void findRepetitions(const QString& text, Findings& findings)
{
    static const Regex repeatedWord(QStringLiteral("\\b(\\p{L}+)\\s+(\\1)\\b"), Regex::CaseInsensitive);
    for (const Regex::Match& match : repeatedWord.matchAll(text))
        findings.addIfFree(
            {Kind::repetition, rangeOf(match, 2), match.captured(2), QStringLiteral("повтор слова"), true, {}});
}

struct WordOccurrences
{
    QString key;
    QList<Range> ranges;
};

// Every word of the text grouped by its key, in the order of each key's first occurrence.
std::vector<WordOccurrences> occurrencesOfWords(const std::vector<Regex::Match>& words)
{
    std::vector<WordOccurrences> occurrences;
    QHash<QString, size_t> indexOfKey;
    for (const Regex::Match& word : words) {
        const QString key = wordKey(word.captured());
        auto found = indexOfKey.constFind(key);
        if (found == indexOfKey.cend()) {
            found = indexOfKey.insert(key, occurrences.size());
            occurrences.push_back({key, {}});
        }
        occurrences[*found].ranges.append(rangeOf(word));
    }
    return occurrences;
}

bool isFrequent(const WordOccurrences& word, qsizetype totalWords)
{
    const qsizetype count = word.ranges.size();
    return (word.key == u"я" || hasAtLeastCharacters(word.key, frequentWordMinimumLength)) &&
           count >= frequentWordOccurrences && count * frequentWordShare >= totalWords;
}

void findFrequentWords(const QString& text, Findings& findings)
{
    const std::vector<Regex::Match> words = wordPattern().matchAll(text);
    const auto totalWords = static_cast<qsizetype>(words.size());
    for (const WordOccurrences& word : occurrencesOfWords(words)) {
        if (!isFrequent(word, totalWords) || !findings.isFree(word.ranges.first()))
            continue;
        findings.add({Kind::style, word.ranges.first(), word.key,
                      QStringLiteral("встречается ") + SpeechQuality::timesWord(word.ranges.size()) +
                          QStringLiteral(" — попробуйте перефразировать"),
                      false, word.ranges.mid(1)});
    }
}

struct Opener
{
    QString key;
    Range range;
};

SpeechIssue sentenceFinding(const QString& text, const Range& sentence, const QString& hint)
{
    return {Kind::style, sentence, sentenceExcerpt(sliceOf(text, sentence)), hint, false, {}};
}

// Long sentences, comma overload and repeated "который"; collects the first word of every sentence.
void findSentenceProblems(const QString& text, Findings& findings, std::vector<Opener>& openers)
{
    static const Regex which(QStringLiteral("\\bкотор\\p{L}+"), Regex::CaseInsensitive);
    for (const Range& sentenceRange : SpeechQuality::sentenceRanges(text)) {
        const QString sentence = sliceOf(text, sentenceRange).toString();
        const std::vector<Regex::Match> words = wordPattern().matchAll(sentence);
        if (!words.empty()) {
            const Range first = rangeOf(words.front());
            openers.push_back(
                {wordKey(words.front().captured()), {sentenceRange.location + first.location, first.length}});
        }
        const auto wordCount = static_cast<qsizetype>(words.size());
        if (wordCount >= longSentenceWords)
            findings.add(sentenceFinding(
                text, sentenceRange,
                QStringLiteral("предложение из %1 слов — тяжело читается, разбейте на два-три").arg(wordCount)));
        const qsizetype commaCount = sentence.count(u',');
        if (commaCount >= overloadedSentenceCommas)
            findings.add(
                sentenceFinding(text, sentenceRange,
                                QStringLiteral("в предложении %1 запятых — конструкция перегружена").arg(commaCount)));
        const auto whichCount = static_cast<qsizetype>(which.matchAll(sentence).size());
        if (whichCount >= repeatedWhichCount)
            findings.add(sentenceFinding(text, sentenceRange,
                                         QStringLiteral("«который» ") + SpeechQuality::timesWord(whichCount) +
                                             QStringLiteral(" в одном предложении — упростите конструкцию")));
    }
}

void findOpenerRuns(const std::vector<Opener>& openers, Findings& findings)
{
    for (size_t runStart = 0; runStart < openers.size();) {
        size_t runEnd = runStart + 1;
        while (runEnd < openers.size() && openers[runEnd].key == openers[runStart].key)
            ++runEnd;
        const auto runLength = static_cast<qsizetype>(runEnd - runStart);
        if (runLength >= openerRunLength) {
            QList<Range> others;
            for (size_t index = runStart + 1; index < runEnd; ++index)
                others.append(openers[index].range);
            const QString& key = openers[runStart].key;
            findings.add({Kind::style, openers[runStart].range, key,
                          QStringLiteral("%1 предложения подряд начинаются с «").arg(runLength) + key +
                              QStringLiteral("» — разнообразьте"),
                          false, others});
        }
        runStart = runEnd;
    }
}

void findDisputedPhrasings(const QString& text, Findings& findings)
{
    const std::vector<SpeechRules::PhrasingRule>& rules = SpeechRules::phrasingRules();
    const std::vector<Regex>& patterns = SpeechRules::phrasingPatterns();
    for (size_t index = 0; index < rules.size(); ++index) {
        for (const Regex::Match& match : patterns[index].matchAll(text))
            findings.addIfFree({Kind::phrasing,
                                rangeOf(match),
                                match.captured(),
                                rules[index].hint,
                                rules[index].replacement.has_value(),
                                {}});
    }
}

} // namespace

namespace SpeechQuality
{

QList<SpeechIssue> analyze(const QString& text)
{
    Findings findings;
    findFillers(text, findings);
    findRepetitions(text, findings);
    findFrequentWords(text, findings);
    std::vector<Opener> openers;
    findSentenceProblems(text, findings, openers);
    findOpenerRuns(openers, findings);
    findDisputedPhrasings(text, findings);
    return std::move(findings).sortedByLocation();
}

int score(const QList<SpeechIssue>& issues)
{
    qsizetype weight = 0;
    for (const SpeechIssue& issue : issues)
        weight += issue.kind == Kind::phrasing ? 2 : 1;
    if (weight == 0)
        return 5;
    if (weight <= 2)
        return 4;
    if (weight <= 5)
        return 3;
    if (weight <= 8)
        return 2;
    return 1;
}

QString scoreWord(int score)
{
    switch (score) {
    case 5:
        return QStringLiteral("идеально");
    case 4:
        return QStringLiteral("мелкие огрехи");
    case 3:
        return QStringLiteral("ошибок многовато");
    case 2:
        return QStringLiteral("много ошибок");
    default:
        return QStringLiteral("совсем всё плохо");
    }
}

QList<Range> sentenceRanges(const QString& text)
{
    QList<Range> ranges;
    const qsizetype length = text.size();
    qsizetype start = 0;
    while (start < length) {
        qsizetype end = start;
        while (end < length && !SpeechRules::isSentenceEnd(text.at(end).unicode()))
            ++end;
        if (end == length)
            break;
        while (end < length && SpeechRules::isSentenceEnd(text.at(end).unicode()))
            ++end;
        ranges.append({start, end - start});
        start = end;
        while (start < length && isBlankUnit(text.at(start)))
            ++start;
    }
    if (start < length)
        ranges.append({start, length - start});
    return ranges;
}

QString timesWord(qsizetype count)
{
    const qsizetype lastDigit = count % 10;
    const qsizetype lastTwoDigits = count % 100;
    const bool few = lastDigit >= 2 && lastDigit <= 4 && (lastTwoDigits < 12 || lastTwoDigits > 14);
    return QString::number(count) + (few ? QStringLiteral(" раза") : QStringLiteral(" раз"));
}

} // namespace SpeechQuality
