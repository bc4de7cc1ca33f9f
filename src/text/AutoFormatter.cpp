#include "text/AutoFormatter.h"

#include "core/Regex.h"
#include "text/CodePoints.h"
#include "text/Graphemes.h"
#include "text/SpokenCommands.h"
#include "text/TextKeys.h"

#include <algorithm>
#include <limits>

namespace
{

constexpr int64_t minimumDictationMs = 5000;
constexpr int64_t paragraphPauseMs = 1100;
constexpr int64_t headingPauseMs = 1300;
constexpr int maximumHeadingWords = 5;
constexpr int maximumItemWords = 14;
constexpr int minimumListSize = 2;

struct Unit
{
    QString text;
    QString norm;
    int64_t startMs = 0;
    int64_t endMs = 0;
    int64_t gapAfterMs = 0;
    int words = 0;
    bool reserved = false;
};

struct Range
{
    int first;
    int last;

    bool contains(int index) const { return index >= first && index <= last; }
};

struct OrdinalRun
{
    Range range;
    QStringList items;
};

// A list after a colon (`intro` is the unit ending with ":"), or a run of infinitive phrases (`intro` −1).
struct RecordedList
{
    int intro;
    Range range;
};

const std::vector<Regex>& ordinalPatterns()
{
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> list;
        for (const char16_t* adverb :
             {u"во-первых", u"во-вторых", u"в-третьих", u"в-четвертых", u"в-пятых", u"в-шестых"})
            list.emplace_back(u'^' + QString::fromUtf16(adverb) + QStringLiteral("[\\s,:—–-]+"));
        for (const char16_t* adjective :
             {u"первое", u"второе", u"третье", u"четвертое", u"пятое", u"шестое", u"седьмое", u"восьмое", u"девятое"})
            list.emplace_back(u'^' + QString::fromUtf16(adjective) + QStringLiteral("[\\s,:.—–-]+"));
        return list;
    }();
    return patterns;
}

bool endsSentence(const QString& text)
{
    return text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?') || text.endsWith(u'…') ||
           text.endsWith(u':');
}

QString firstWord(const QString& norm)
{
    return norm.section(u' ', 0, 0);
}

bool startsWithInfinitive(const Unit& unit)
{
    const QString word = firstWord(unit.norm);
    return word.endsWith(QStringLiteral("ть")) || word.endsWith(QStringLiteral("ти")) ||
           word.endsWith(QStringLiteral("чь"));
}

bool isTodoish(const Unit& unit)
{
    return unit.words >= 2 && unit.words <= maximumItemWords && startsWithInfinitive(unit);
}

// A full stop where the piece does not already end a sentence.
QString completed(const QString& text)
{
    return endsSentence(text) ? text : text + u'.';
}

void measure(Unit& unit)
{
    unit.norm = TextKeys::normalize(unit.text);
    unit.words = unit.norm.isEmpty() ? 0 : static_cast<int>(unit.norm.count(u' ')) + 1;
}

// to − from, held within the range of the type: the times are whatever the recognizer reported.
int64_t elapsedMs(int64_t from, int64_t to)
{
    constexpr int64_t largest = std::numeric_limits<int64_t>::max();
    constexpr int64_t smallest = std::numeric_limits<int64_t>::min();
    if (from < 0 && to > largest + from)
        return largest;
    if (from > 0 && to < smallest + from)
        return smallest;
    return to - from;
}

std::vector<Unit> unitsOf(const std::vector<SpeechSegment>& segments, const QSet<QString>& macroTriggers)
{
    std::vector<Unit> units;
    for (const SpeechSegment& segment : segments) {
        Unit unit;
        unit.text = segment.text.trimmed();
        if (unit.text.isEmpty())
            continue;
        measure(unit);
        if (unit.norm.isEmpty())
            continue;
        unit.reserved = SpokenCommands::isStructural(unit.norm) || macroTriggers.contains(unit.norm);
        unit.startMs = segment.startMs;
        unit.endMs = segment.endMs;
        units.push_back(std::move(unit));
    }
    return units;
}

// The recognizer cuts long sentences into several segments; a piece that neither follows a finished
// sentence nor starts with a capital continues the previous one.
std::vector<Unit> joinedSentences(std::vector<Unit> units)
{
    std::vector<Unit> joined;
    for (Unit& unit : units) {
        if (!joined.empty()) {
            Unit& previous = joined.back();
            if (!previous.reserved && !unit.reserved && !endsSentence(previous.text) &&
                !CodePoints::startsWithUpper(unit.text)) {
                previous.text += u' ' + unit.text;
                previous.endMs = unit.endMs;
                measure(previous);
                continue;
            }
        }
        joined.push_back(std::move(unit));
    }
    return joined;
}

class Annotator
{
public:
    explicit Annotator(std::vector<Unit> units) : units_(std::move(units)) {}

    std::optional<QString> run()
    {
        if (units_.size() < 2)
            return std::nullopt;
        for (size_t index = 0; index + 1 < units_.size(); ++index)
            units_[index].gapAfterMs = std::max<int64_t>(0, elapsedMs(units_[index].endMs, units_[index + 1].startMs));
        if (elapsedMs(units_.front().startMs, units_.back().endMs) < minimumDictationMs)
            return std::nullopt;
        findOrdinalRuns();
        findColonLists();
        findInfinitiveRuns();
        heading_ = firstUnitIsHeading();
        if (ordinalRuns_.empty() && lists_.empty() && !heading_ && !hasParagraphPause())
            return std::nullopt;
        return output();
    }

private:
    int count() const { return static_cast<int>(units_.size()); }

    bool inOrdinalRun(int index) const
    {
        return std::any_of(ordinalRuns_.begin(), ordinalRuns_.end(),
                           [&](const OrdinalRun& run) { return run.range.contains(index); });
    }

    bool isIntroOrInList(int index) const
    {
        return std::any_of(lists_.begin(), lists_.end(),
                           [&](const RecordedList& list) { return list.intro == index || list.range.contains(index); });
    }

    void findOrdinalRuns()
    {
        int index = 0;
        while (index < count()) {
            const auto first = units_[index].reserved ? std::nullopt : AutoFormatter::stripOrdinal(units_[index].text);
            if (!first) {
                ++index;
                continue;
            }
            OrdinalRun run{{index, index}, {*first}};
            while (run.range.last + 1 < count() && !units_[run.range.last + 1].reserved) {
                const auto item = AutoFormatter::stripOrdinal(units_[run.range.last + 1].text);
                if (!item)
                    break;
                run.items.append(*item);
                ++run.range.last;
            }
            if (run.items.size() >= minimumListSize) {
                index = run.range.last + 1;
                ordinalRuns_.push_back(std::move(run));
            } else {
                ++index;
            }
        }
    }

    bool fitsColonItem(int index) const
    {
        const Unit& unit = units_[index];
        return !unit.reserved && unit.words <= maximumItemWords && !unit.text.endsWith(u':') && !inOrdinalRun(index);
    }

    void findColonLists()
    {
        int index = 0;
        while (index < count()) {
            if (!units_[index].text.endsWith(u':') || inOrdinalRun(index) || index + 2 >= count()) {
                ++index;
                continue;
            }
            int last = index;
            for (int item = index + 1; item < count() && fitsColonItem(item); ++item) {
                if (item > index + 1 && units_[item - 1].gapAfterMs >= paragraphPauseMs)
                    break;
                last = item;
            }
            if (last - index >= minimumListSize) {
                lists_.push_back({index, {index + 1, last}});
                index = last + 1;
            } else {
                ++index;
            }
        }
    }

    bool fitsInfinitiveItem(int index) const
    {
        return !units_[index].reserved && isTodoish(units_[index]) && !inOrdinalRun(index) && !isIntroOrInList(index);
    }

    void findInfinitiveRuns()
    {
        int index = 0;
        while (index < count()) {
            if (!fitsInfinitiveItem(index)) {
                ++index;
                continue;
            }
            int last = index;
            while (last + 1 < count() && fitsInfinitiveItem(last + 1) && units_[last].gapAfterMs < paragraphPauseMs)
                ++last;
            if (last - index + 1 >= minimumListSize) {
                lists_.push_back({-1, {index, last}});
                index = last + 1;
            } else {
                ++index;
            }
        }
    }

    bool firstUnitIsHeading() const
    {
        static const QStringList stopWords{QStringLiteral("и"), QStringLiteral("а"), QStringLiteral("но"),
                                           QStringLiteral("да")};
        const Unit& first = units_.front();
        return !first.reserved && first.words >= 1 && first.words <= maximumHeadingWords &&
               first.gapAfterMs >= headingPauseMs && !first.text.contains(u',') && !first.text.endsWith(u':') &&
               !inOrdinalRun(0) && !isIntroOrInList(0) && !stopWords.contains(firstWord(first.norm));
    }

    bool hasParagraphPause() const
    {
        return std::any_of(units_.begin(), units_.end() - 1,
                           [](const Unit& unit) { return unit.gapAfterMs >= paragraphPauseMs; });
    }

    QString output() const
    {
        QStringList pieces;
        int index = 0;
        while (index < count()) {
            const auto run = std::find_if(ordinalRuns_.begin(), ordinalRuns_.end(),
                                          [&](const OrdinalRun& candidate) { return candidate.range.first == index; });
            const auto colonList = std::find_if(lists_.begin(), lists_.end(),
                                                [&](const RecordedList& list) { return list.intro == index; });
            const auto infinitiveRun = std::find_if(lists_.begin(), lists_.end(), [&](const RecordedList& list) {
                return list.intro < 0 && list.range.first == index;
            });
            if (run != ordinalRuns_.end()) {
                pieces.append(QStringLiteral("Нумерованный список."));
                for (const QString& item : run->items)
                    pieces.append(completed(item));
                pieces.append(QStringLiteral("Конец списка."));
                index = run->range.last + 1;
            } else if (colonList != lists_.end()) {
                pieces.append(completed(units_[index].text));
                appendList(pieces, colonList->range);
                index = colonList->range.last + 1;
            } else if (infinitiveRun != lists_.end()) {
                appendList(pieces, infinitiveRun->range);
                index = infinitiveRun->range.last + 1;
            } else if (index == 0 && heading_) {
                pieces.append(QStringLiteral("Заголовок: ") + withoutFinalFullStops(units_[0].text) + u'.');
                index = 1;
            } else {
                appendPhrase(pieces, index);
                ++index;
            }
        }
        return pieces.join(u' ');
    }

    void appendList(QStringList& pieces, Range range) const
    {
        pieces.append(QStringLiteral("Список."));
        for (int item = range.first; item <= range.last; ++item)
            pieces.append(completed(units_[item].text));
        pieces.append(QStringLiteral("Конец списка."));
    }

    // A long pause starts a new paragraph where a sentence really ended.
    void appendPhrase(QStringList& pieces, int index) const
    {
        const Unit& unit = units_[index];
        pieces.append(completed(unit.text));
        if (index + 1 >= count() || unit.gapAfterMs < paragraphPauseMs)
            return;
        const QString& own = unit.text;
        if (own.endsWith(u'.') || own.endsWith(u'!') || own.endsWith(u'?') || own.endsWith(u'…') ||
            CodePoints::startsWithUpper(units_[index + 1].text))
            pieces.append(QStringLiteral("Новый абзац."));
    }

    static QString withoutFinalFullStops(QString text)
    {
        while (text.endsWith(u'.'))
            text = text.chopped(1).trimmed();
        return text;
    }

    std::vector<Unit> units_;
    std::vector<OrdinalRun> ordinalRuns_;
    std::vector<RecordedList> lists_;
    bool heading_ = false;
};

} // namespace

namespace AutoFormatter
{

std::optional<QString> annotate(const std::vector<SpeechSegment>& segments, const QSet<QString>& macroTriggers)
{
    return Annotator(joinedSentences(unitsOf(segments, macroTriggers))).run();
}

std::optional<QString> stripOrdinal(const QString& text)
{
    const QString lowered = TextKeys::foldInPlace(text);
    for (const Regex& pattern : ordinalPatterns()) {
        const auto match = pattern.match(lowered);
        if (!match)
            continue;
        if (match->length() >= lowered.size())
            return std::nullopt;
        const QString rest = text.mid(match->length()).trimmed();
        if (Graphemes::count(rest) < 2)
            return std::nullopt;
        return CodePoints::upperFirst(rest);
    }
    return std::nullopt;
}

} // namespace AutoFormatter
