#include "text/NumberReading.h"

#include "text/TextKeys.h"

#include <algorithm>
#include <limits>

namespace
{

using NumberReading::Word;

constexpr char16_t noBreakSpace = u'\u00A0';

bool isWordCharacter(QChar c)
{
    return c.isLetter() || c.isMark();
}

bool isSpace(QChar c)
{
    return c == u' ' || c == noBreakSpace;
}

// Letters joined by inner hyphens («во-первых», «кто-то») make one word.
std::vector<Word> wordsOf(const QString& folded)
{
    std::vector<Word> words;
    const qsizetype size = folded.size();
    qsizetype position = 0;
    while (position < size) {
        if (!isWordCharacter(folded.at(position))) {
            ++position;
            continue;
        }
        const qsizetype start = position;
        while (position < size &&
               (isWordCharacter(folded.at(position)) ||
                (folded.at(position) == u'-' && position + 1 < size && folded.at(position + 1).isLetter())))
            ++position;
        words.push_back({start, position, QStringView(folded).mid(start, position - start)});
    }
    return words;
}

// Hundreds, tens, units: a word's place within a group of three digits; the teens take tens and units.
int placeOf(qint64 value)
{
    return value < 10 ? 0 : value < 100 ? 1 : 2;
}

bool standsAlone(const NumberWords::Entry& entry)
{
    return !entry.multiplier && (entry.value == 0 || entry.value >= 1000);
}

} // namespace

namespace NumberReading
{

Reading::Reading(const QString& text, const QString& folded) : text_(text), words_(wordsOf(folded)) {}

QStringView Reading::between(size_t index) const
{
    if (index + 1 >= words_.size())
        return {};
    return QStringView(text_).mid(words_[index].end, words_[index + 1].start - words_[index].end);
}

bool Reading::joined(size_t index) const
{
    const QStringView gap = between(index);
    return !gap.isEmpty() && std::all_of(gap.begin(), gap.end(), isSpace);
}

bool Reading::dashAfter(size_t index) const
{
    const QStringView gap = between(index);
    return std::count_if(gap.begin(), gap.end(), [](QChar c) { return QStringView(u"-–—").contains(c); }) == 1 &&
           std::all_of(gap.begin(), gap.end(), [](QChar c) { return isSpace(c) || QStringView(u"-–—").contains(c); });
}

QStringView Reading::keyBefore(size_t index) const
{
    return index > 0 && joined(index - 1) ? words_[index - 1].key : QStringView();
}

QStringView Reading::keyAt(size_t index) const
{
    return index > 0 && joined(index - 1) ? words_[index].key : QStringView();
}

std::optional<Number> Reading::numberAfter(const Number& number) const
{
    return joined(number.next - 1) ? numberAt(number.next) : std::nullopt;
}

QString Reading::said(size_t first, size_t next) const
{
    return text_.mid(words_[first].start, words_[next - 1].end - words_[first].start);
}

std::optional<Number> Reading::numberAt(size_t first) const
{
    const NumberWords& lexicon = NumberWords::shared();
    Number number{.first = first, .next = first};
    qint64 total = 0;
    qint64 group = 0;
    qint64 lastMultiplier = std::numeric_limits<qint64>::max();
    int freePlace = 2;
    int multipliers = 0;
    quint64 ruleSets = 0;
    QString spoken;
    for (size_t index = first; index < words_.size() && (index == first || joined(index - 1)); ++index) {
        const NumberWords::Entry* entry = lexicon.find(words_[index].key);
        if (!entry || (standsAlone(*entry) && index > first))
            break;
        if (entry->multiplier) {
            if (entry->value >= lastMultiplier || (group == 0 && index > first))
                break;
            total += std::max<qint64>(group, 1) * entry->value;
            group = 0;
            freePlace = 2;
            lastMultiplier = entry->value;
            ++multipliers;
        } else {
            const int place = placeOf(entry->value);
            if (place > freePlace)
                break;
            group += entry->value;
            freePlace = entry->value < 20 ? -1 : place - 1;
        }
        number.next = index + 1;
        number.endingMultiplier = entry->multiplier && multipliers == 1 ? entry->value : 0;
        ruleSets = entry->ruleSets;
        if (index > first)
            spoken += u' ';
        spoken += entry->icuSpelling.isEmpty() ? words_[index].key : QStringView(entry->icuSpelling);
        if (entry->ordinal || standsAlone(*entry))
            break;
    }
    if (number.next == first)
        return std::nullopt;
    const NumberWords::Entry* firstEntry = lexicon.find(words_[first].key);
    number.value = total + group;
    number.bareMultiplier = firstEntry->multiplier && number.next == first + 1;
    const std::optional<NumberWords::Kind> kind =
        lexicon.kindOfSpelling(number.value, spoken, ruleSets, firstEntry->multiplier);
    number.trusted = kind.has_value();
    number.kind = kind.value_or(NumberWords::Kind::cardinal);
    return number;
}

QString grouped(qint64 value, QChar separator)
{
    QString digits = QString::number(value);
    if (digits.size() < 5)
        return digits;
    for (qsizetype position = digits.size() - 3; position > 0; position -= 3)
        digits.insert(position, separator);
    return digits;
}

Rewrite keep(size_t next)
{
    return {next, 0, QString()};
}

QString rewritten(const QString& text, const std::function<Rewrite(const Reading&, const Number&)>& rewrite)
{
    if (!NumberWords::shared().isValid())
        return text;
    const QString folded = TextKeys::foldInPlace(text);
    const Reading reading(text, folded);
    QString result;
    qsizetype copied = 0;
    for (size_t index = 0; index < reading.words().size();) {
        const std::optional<Number> number = reading.numberAt(index);
        if (!number) {
            ++index;
            continue;
        }
        const Rewrite change = rewrite(reading, *number);
        if (!change.text.isNull()) {
            const qsizetype start = reading.words()[change.first].start;
            result += QStringView(text).mid(copied, start - copied);
            result += change.text;
            copied = reading.words()[change.next - 1].end;
        }
        index = change.next;
    }
    if (copied == 0)
        return text;
    result += QStringView(text).mid(copied);
    return result;
}

} // namespace NumberReading
