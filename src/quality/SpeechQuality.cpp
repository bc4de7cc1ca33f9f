#include "quality/SpeechQuality.h"

#include "core/Regex.h"

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

bool isSentenceEnd(char32_t character)
{
    return character == u'.' || character == u'!' || character == u'?' || character == u'…' || character == u'\n';
}

bool isPunctuationEnd(QChar character)
{
    return character != u'\n' && isSentenceEnd(character.unicode());
}

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

const std::vector<Regex>& fillerPatterns()
{
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> compiled;
        for (const QString& filler : SpeechQuality::fillers())
            compiled.emplace_back(QStringLiteral("(?:^|[.!?…]\\s+|,\\s+|\\n)(") + Regex::escape(filler) +
                                      QStringLiteral(")(?=\\s*[,.!?…])"),
                                  Regex::CaseInsensitive);
        return compiled;
    }();
    return patterns;
}

const std::vector<Regex>& phrasingPatterns()
{
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> compiled;
        for (const SpeechQuality::PhrasingRule& rule : SpeechQuality::phrasingRules())
            compiled.emplace_back(rule.pattern, Regex::CaseInsensitive);
        return compiled;
    }();
    return patterns;
}

// A filler counts only where it stands apart, set off by commas, sentence ends or a line break.
void findFillers(const QString& text, Findings& findings)
{
    for (const Regex& pattern : fillerPatterns()) {
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
    const std::vector<SpeechQuality::PhrasingRule>& rules = SpeechQuality::phrasingRules();
    const std::vector<Regex>& patterns = phrasingPatterns();
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

std::optional<QString> replacementForHint(const QString& hint)
{
    for (const SpeechQuality::PhrasingRule& rule : SpeechQuality::phrasingRules()) {
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
    return SpeechQuality::capitalizeSentences(spaced.trimmed());
}

} // namespace

namespace SpeechQuality
{

const std::vector<PhrasingRule>& phrasingRules()
{
    static const std::vector<PhrasingRule> rules = {
        {QStringLiteral("\\bвообщем\\b"), QStringLiteral("ошибка: правильно «в общем»"), QStringLiteral("в общем")},
        {QStringLiteral("\\bболее\\s+\\p{L}+(ее|ей|ше)\\b"),
         QStringLiteral("двойное сравнение — оставьте одно: «лучше», а не «более лучше»"), std::nullopt},
        {QStringLiteral("\\bсамый\\s+лучший\\b"), QStringLiteral("плеоназм: достаточно «лучший»"), std::nullopt},
        {QStringLiteral("\\bоплат\\p{L}*\\s+за\\b"),
         QStringLiteral("правильно: «оплатить работу» или «заплатить за работу»"), std::nullopt},
        {QStringLiteral("\\bсогласно\\s+(договора|приказа|закона|плана|графика|письма|распоряжения|регламента|"
                        "счёта|счета)\\b"),
         QStringLiteral("«согласно» требует дательного падежа: «согласно договору»"), std::nullopt},
        {QStringLiteral("\\bимеет\\s+место\\s+быть\\b"), QStringLiteral("канцеляризм: «имеет место» или просто «есть»"),
         std::nullopt},
        {QStringLiteral("\\bв\\s+данный\\s+момент\\s+времени\\b"), QStringLiteral("проще: «сейчас»"), std::nullopt},
        {QStringLiteral("\\bкрайний\\s+раз\\b"), QStringLiteral("литературная норма: «последний раз»"), std::nullopt},
        {QStringLiteral("\\b(ихний|ихняя|ихние|ихнего|евонный)\\b"), QStringLiteral("просторечие: «их»"), std::nullopt},
        {QStringLiteral("\\bложить\\b"), QStringLiteral("просторечие: «класть»"), std::nullopt},
    };
    return rules;
}

const QStringList& fillers()
{
    static const QStringList words = {
        QStringLiteral("собственно говоря"),
        QStringLiteral("по большому счёту"),
        QStringLiteral("это самое"),
        QStringLiteral("так сказать"),
        QStringLiteral("скажем так"),
        QStringLiteral("в общем-то"),
        QStringLiteral("ну вот"),
        QStringLiteral("как бы"),
        QStringLiteral("в общем"),
        QStringLiteral("ну"),
        QStringLiteral("вот"),
        QStringLiteral("значит"),
        QStringLiteral("типа"),
        QStringLiteral("короче"),
        QStringLiteral("собственно"),
        QStringLiteral("блин"),
        QStringLiteral("эм"),
        QStringLiteral("э-э"),
        QStringLiteral("м-м"),
    };
    return words;
}

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
    const QList<SpeechIssue> issues = analyze(text);
    const auto removedCount =
        std::count_if(issues.cbegin(), issues.cend(), [](const SpeechIssue& issue) { return issue.removable; });
    if (removedCount == 0)
        return {text, 0};
    return {clean(text, issues), removedCount};
}

QList<Range> sentenceRanges(const QString& text)
{
    QList<Range> ranges;
    const qsizetype length = text.size();
    qsizetype start = 0;
    while (start < length) {
        qsizetype end = start;
        while (end < length && !isSentenceEnd(text.at(end).unicode()))
            ++end;
        if (end == length)
            break;
        while (end < length && isSentenceEnd(text.at(end).unicode()))
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
            if (isSentenceEnd(character))
                capitalizeNext = true;
            else if (QChar::isNumber(character))
                capitalizeNext = false;
        }
        index += width;
    }
    return result;
}

} // namespace SpeechQuality
