#include "text/SpokenNumberSigns.h"

#include "core/Regex.h"
#include "text/NumberReading.h"
#include "text/NumberVocabulary.h"
#include "text/TextKeys.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace
{

using NumberReading::Number;
using NumberReading::Reading;

struct Change
{
    // Words [first, next) become `text`.
    size_t first;
    size_t next;
    QString text;
};

bool isCardinal(const Number& number)
{
    return number.trusted && number.kind == NumberWords::Kind::cardinal && !number.bareMultiplier;
}

// «вагон номер три» → «вагон № 3».
std::optional<Change> numberSign(const Reading& reading, const Number& number)
{
    if (number.first < 2 || !isCardinal(number) || reading.numberAfter(number) ||
        reading.keyBefore(number.first) != u"номер" ||
        !NumberVocabulary::isNumberedNoun(reading.keyBefore(number.first - 1)))
        return std::nullopt;
    return Change{number.first - 1, number.next, QStringLiteral("№ %1").arg(number.value)};
}

// «в пункте три точка два» → «в пункте 3.2»: the number of a section or a version, said with «точка», after a
// noun a number labels or «версия».
std::optional<Change> dottedNumber(const Reading& reading, const Number& number)
{
    const QStringView before = reading.keyBefore(number.first);
    if (!isCardinal(number) || !(NumberVocabulary::isNumberedNoun(before) || before.startsWith(u"верси")))
        return std::nullopt;
    QString written = QString::number(number.value);
    Number last = number;
    while (last.next + 1 < reading.words().size() && reading.joined(last.next - 1) &&
           reading.words()[last.next].key == u"точка" && reading.joined(last.next)) {
        const std::optional<Number> part = reading.numberAt(last.next + 1);
        if (!part || !isCardinal(*part))
            break;
        written += u'.' + QString::number(part->value);
        last = *part;
    }
    if (last.first == number.first)
        return std::nullopt;
    return Change{number.first, last.next, written};
}

// Two numbers said one after another that may be a score: «два один», «три ноль».
std::optional<Number> secondOfScore(const Reading& reading, const Number& number)
{
    const std::optional<Number> second = reading.numberAfter(number);
    if (!second || !isCardinal(number) || !isCardinal(*second) || number.value > 99 || second->value > 99 ||
        reading.numberAfter(*second))
        return std::nullopt;
    return second;
}

// «со счётом два один» → «со счётом 2:1».
std::optional<Change> score(const Reading& reading, const Number& number)
{
    const QStringView before = reading.keyBefore(number.first);
    const std::optional<Number> second = secondOfScore(reading, number);
    if ((before != u"счет" && before != u"счетом") || !second)
        return std::nullopt;
    return Change{number.first, second->next, QStringLiteral("%1:%2").arg(number.value).arg(second->value)};
}

// Whether a sentence ends between the end of word `last` and the start of word `next`.
bool sentenceEndsBetween(const Reading& reading, size_t last, size_t next)
{
    const qsizetype from = reading.words()[last].end;
    const QStringView between = QStringView(reading.text()).mid(from, reading.words()[next].start - from);
    return std::any_of(between.begin(), between.end(), [](QChar c) { return QStringView(u".!?…\n").contains(c); });
}

// After a score, another pair of numbers in the same sentence is a score too: «со счётом 2:1, а в прошлом
// сезоне три ноль» → «… 3:0». Not a pair a noun follows: «через два три дня» is an estimate.
std::optional<Change> scoreAgain(const Reading& reading, const Number& number, const Change& previous)
{
    static const QStringView freeWords[] = {u"в", u"во", u"на", u"против", u"после", u"и", u"а", u"но"};
    const std::optional<Number> second = secondOfScore(reading, number);
    if (!second || sentenceEndsBetween(reading, previous.next - 1, number.first))
        return std::nullopt;
    const QStringView after = reading.keyAt(second->next);
    if (!after.isEmpty() && std::find(std::begin(freeWords), std::end(freeWords), after) == std::end(freeWords))
        return std::nullopt;
    return Change{number.first, second->next, QStringLiteral("%1:%2").arg(number.value).arg(second->value)};
}

bool isDigitWord(const Number& number)
{
    return isCardinal(number) && number.next == number.first + 1 && number.value <= 9;
}

// «123-45-67», with the code before it: «916 123-45-67», «8 916 123-45-67».
QString phoneNumber(const QString& digits, QChar separator)
{
    const qsizetype code = digits.size() - 7;
    QString local = digits.right(7);
    local.insert(5, u'-');
    local.insert(3, u'-');
    if (code == 0)
        return local;
    QString prefix = digits.left(code);
    if (code == 4)
        prefix.insert(1, separator);
    return prefix + separator + local;
}

// «восемь девятьсот шестнадцать сто двадцать три сорок пять шестьдесят семь»: eleven digits said in the groups
// of a Russian phone number, 8 or 7 | 916 | 123 | 45 | 67, no number said across two groups.
bool saidInPhoneGroups(const std::vector<Number>& row, const QString& digits)
{
    static constexpr qsizetype borders[] = {1, 4, 7, 9};
    if (digits.size() != 11)
        return false;
    std::vector<qsizetype> ends;
    qsizetype end = 0;
    for (const Number& said : row)
        ends.push_back(end += QString::number(said.value).size());
    return std::all_of(std::begin(borders), std::end(borders),
                       [&](qsizetype border) { return std::find(ends.begin(), ends.end(), border) != ends.end(); });
}

// A phone number said aloud: digit by digit (seven, ten or eleven of them) or in its groups, with «плюс» before
// a leading 7. Digits said one by one that make no phone number stay as said, and the words after the first are
// skipped too.
std::optional<Change> phone(const Reading& reading, const Number& number, QChar separator)
{
    std::vector<Number> row{number};
    std::optional<Number> following;
    while ((following = reading.numberAfter(row.back())) && isCardinal(*following))
        row.push_back(*following);
    QString digits;
    for (const Number& said : row)
        digits += QString::number(said.value);
    const bool oneByOne = std::all_of(row.begin(), row.end(), isDigitWord);
    const bool plus = digits.size() == 11 && digits.front() == u'7' && reading.keyBefore(number.first) == u"плюс";
    const bool phoneNumberSaid = oneByOne ? digits.size() == 7 || digits.size() == 10 || digits.size() == 11
                                          : saidInPhoneGroups(row, digits) && (digits.front() == u'8' || plus);
    if (!following && phoneNumberSaid)
        return Change{plus ? number.first - 1 : number.first, row.back().next,
                      (plus ? QStringLiteral("+") : QString()) + phoneNumber(digits, separator)};
    if (oneByOne)
        return Change{number.first, row.back().next, QString()};
    return std::nullopt;
}

std::vector<Change> changesIn(const Reading& reading, QChar separator)
{
    std::vector<Change> changes;
    std::optional<Change> lastScore;
    for (size_t index = 0; index < reading.words().size();) {
        const std::optional<Number> number = reading.numberAt(index);
        if (!number) {
            ++index;
            continue;
        }
        std::optional<Change> change = numberSign(reading, *number);
        if (!change)
            change = dottedNumber(reading, *number);
        if (!change) {
            change = score(reading, *number);
            if (!change && lastScore)
                change = scoreAgain(reading, *number, *lastScore);
            if (change)
                lastScore = change;
        }
        if (!change && isCardinal(*number))
            change = phone(reading, *number, separator);
        if (change && !change->text.isNull())
            changes.push_back(*change);
        index = change ? change->next : number->next;
    }
    return changes;
}

} // namespace

namespace SpokenNumberSigns
{

QString written(const QString& text, QChar groupSeparator)
{
    static const Regex latinN(QStringLiteral("(?<=\\p{Cyrillic}[ \\x{00A0}])N ?(?=\\d)"));
    const QString withSign = latinN.replaceAll(text, QStringLiteral("№ "));
    if (!NumberWords::shared().isValid())
        return withSign;
    const QString folded = TextKeys::foldInPlace(withSign);
    const Reading reading(withSign, folded);
    QString result;
    qsizetype copied = 0;
    for (const Change& change : changesIn(reading, groupSeparator)) {
        const qsizetype start = reading.words()[change.first].start;
        result += QStringView(withSign).mid(copied, start - copied);
        result += change.text;
        copied = reading.words()[change.next - 1].end;
    }
    result += QStringView(withSign).mid(copied);
    return result;
}

} // namespace SpokenNumberSigns
