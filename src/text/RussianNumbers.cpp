#include "text/RussianNumbers.h"

#include "core/Regex.h"
#include "text/HolidayNames.h"
#include "text/NumberIdentifiers.h"
#include "text/NumberReading.h"
#include "text/NumberVocabulary.h"
#include "text/NumberWords.h"
#include "text/TextFormatter.h"

#include <functional>
#include <optional>
#include <vector>

namespace
{

using Kind = NumberWords::Kind;
using NumberReading::grouped;
using NumberReading::keep;
using NumberReading::Number;
using NumberReading::Reading;
using NumberReading::Rewrite;
using NumberReading::rewritten;
namespace Vocabulary = NumberVocabulary;

// «двадцать пять тысяч» → «25 тысяч», «пять тысяч» → «5000».
QString digitsOf(const Reading& reading, const Number& number, QChar groupSeparator)
{
    if (number.endingMultiplier == 0 || number.value < 10000)
        return grouped(number.value, groupSeparator);
    return grouped(number.value / number.endingMultiplier, groupSeparator) + u' ' +
           reading.said(number.next - 1, number.next);
}

// «номер заказа сто двадцать три тысячи четыреста пятьдесят шесть» → «123456»: an identifier keeps its digits
// together.
QString cardinalDigits(const Reading& reading, const Number& number, QChar groupSeparator)
{
    const qsizetype start = reading.words()[number.first].start;
    if (number.endingMultiplier == 0 && !Vocabulary::isUnit(reading.keyAt(number.next)) &&
        NumberIdentifiers::identifies(reading.text(), start, reading.words()[number.next - 1].end))
        return QString::number(number.value);
    return digitsOf(reading, number, groupSeparator);
}

bool isConsonant(QChar c)
{
    return c.isLetter() && !QStringView(u"аеиоуыэюяйьъ").contains(c);
}

// The ending an ordinal keeps after its digits: two letters after a consonant («пятого» → «го», «пятыми» →
// «ми»), one otherwise («пятым» → «м», «третье» → «е»).
QString endingOf(const Reading& reading, const Number& number)
{
    const QStringView word = reading.words()[number.next - 1].key;
    return (word.size() >= 2 && isConsonant(word.at(word.size() - 2)) ? word.right(2) : word.right(1)).toString();
}

// A capitalized number that starts the text, a sentence, a line or a line of dialogue.
bool opensSentence(const Reading& reading, const Number& number)
{
    const QString& text = reading.text();
    const qsizetype start = reading.words()[number.first].start;
    if (!text.at(start).isUpper())
        return false;
    for (qsizetype position = start; position > 0; --position) {
        const QChar c = text.at(position - 1);
        if (c == u'\n' || QStringView(u".!?…:").contains(c))
            return true;
        if (!c.isSpace() && !QStringView(u"-–—«„\"“([#*>").contains(c))
            return false;
    }
    return true;
}

bool isDate(const Reading& reading, const Number& number)
{
    return number.kind == Kind::ordinal && number.value >= 1 && number.value <= 31 &&
           Vocabulary::isMonth(reading.keyAt(number.next));
}

// «с восьмым марта», «с Первым мая»: a date said in the instrumental after «с» is the holiday's name.
bool isHolidayGreeting(const Reading& reading, const Number& number)
{
    const QStringView before = reading.keyBefore(number.first);
    return isDate(reading, number) && (before == u"с" || before == u"со") &&
           reading.words()[number.next - 1].key.endsWith(u"ым") &&
           HolidayNames::isHoliday(number.value, reading.keyAt(number.next));
}

bool isYear(const Reading& reading, const Number& number)
{
    return number.kind == Kind::ordinal && number.value >= 1000 && Vocabulary::isYear(reading.keyAt(number.next));
}

bool isClockHour(const Reading& reading, const Number& number)
{
    return number.kind == Kind::cardinal && number.value <= 24 &&
           Vocabulary::isTimePreposition(reading.keyBefore(number.first));
}

// «в семь тридцать» → «в 7:30», «к девяти ноль пять» → «к 9:05».
std::optional<Rewrite> clockTime(const Reading& reading, const Number& hours, const Number& minutes)
{
    if (!hours.trusted || !minutes.trusted || !isClockHour(reading, hours) || minutes.kind != Kind::cardinal)
        return std::nullopt;
    Number last = minutes;
    qint64 minute = minutes.value;
    if (minutes.value == 0) {
        const std::optional<Number> single = reading.numberAfter(minutes);
        if (!single || !single->trusted || single->kind != Kind::cardinal || single->value > 9)
            return std::nullopt;
        last = *single;
        minute = single->value;
    } else if (minutes.value < 10 || minutes.value > 59) {
        return std::nullopt;
    }
    if (reading.numberAfter(last))
        return std::nullopt;
    return Rewrite{last.next, hours.first,
                   QStringLiteral("%1:%2").arg(hours.value).arg(minute, 2, 10, QLatin1Char('0'))};
}

// Words [index, index + keys.size()) are `keys`, with nothing but spaces between them.
bool saysAt(const Reading& reading, size_t index, const std::vector<QStringView>& keys)
{
    for (size_t offset = 0; offset < keys.size(); ++offset) {
        const size_t word = index + offset;
        if (word >= reading.words().size() || reading.words()[word].key != keys[offset] ||
            (offset > 0 && !reading.joined(word - 1)))
            return false;
    }
    return true;
}

// «ни одного», «один из» and the set phrases of the vocabulary.
bool isFixedPhrase(const Reading& reading, const Number& number)
{
    if (reading.keyBefore(number.first) == u"ни" || (number.value == 1 && reading.keyAt(number.next) == u"из"))
        return true;
    for (const Vocabulary::FixedPhrase& phrase : Vocabulary::fixedPhrases()) {
        const size_t before = phrase.before.size();
        if (number.first >= before && number.next <= number.first + phrase.from.size() &&
            saysAt(reading, number.first, phrase.from) &&
            (before == 0 ||
             (reading.joined(number.first - 1) && saysAt(reading, number.first - before, phrase.before))))
            return true;
    }
    return false;
}

QString withPercent(const Reading& reading, size_t& next, QString digits)
{
    if (!Vocabulary::isPercent(reading.keyAt(next)))
        return digits;
    ++next;
    return digits + QStringLiteral(" %");
}

// «четыре целых пять десятых» → «4,5», «ноль целых пять десятых процента» → «0,5 %».
std::optional<Rewrite> decimal(const Reading& reading, const Number& whole, QChar groupSeparator)
{
    if (!Vocabulary::isWhole(reading.keyAt(whole.next)) || !reading.joined(whole.next))
        return std::nullopt;
    const std::optional<Number> fraction = reading.numberAt(whole.next + 1);
    if (!whole.trusted || whole.kind != Kind::cardinal || !fraction || !fraction->trusted ||
        fraction->kind != Kind::cardinal)
        return std::nullopt;
    const int places = Vocabulary::decimalPlaces(reading.keyAt(fraction->next));
    if (places == 0 || QString::number(fraction->value).size() > places)
        return std::nullopt;
    size_t next = fraction->next + 1;
    const QString digits = withPercent(reading, next,
                                       grouped(whole.value, groupSeparator) + u',' +
                                           QStringLiteral("%1").arg(fraction->value, places, 10, QLatin1Char('0')));
    return Rewrite{next, whole.first, digits};
}

Rewrite cardinal(const Reading& reading, const Number& number, QChar groupSeparator)
{
    const QStringView after = reading.keyAt(number.next);
    size_t next = number.next;
    const QString digits = withPercent(reading, next, cardinalDigits(reading, number, groupSeparator));
    const bool homograph =
        number.next == number.first + 1 && Vocabulary::isHomograph(reading.words()[number.first].key);
    // «человек двадцать»: the noun first means "about", and that stays in words.
    if (next == number.next && !Vocabulary::isUnit(after) &&
        Vocabulary::countsApproximately(reading.keyBefore(number.first)))
        return keep(number.next);
    if (next > number.next || Vocabulary::isUnit(after) ||
        (isClockHour(reading, number) && Vocabulary::isHour(after)) || (number.value > 10 && !homograph))
        return {next, number.first, digits};
    return keep(number.next);
}

// A century stays in words: «в 21-м веке» is no editor's way, «в XXI веке» is the Roman numerals' rule.
Rewrite ordinal(const Reading& reading, const Number& number, QChar groupSeparator)
{
    if (isHolidayGreeting(reading, number)) {
        QString month = reading.said(number.next, number.next + 1);
        month[0] = month.at(0).toUpper();
        return {number.next + 1, number.first, QStringLiteral("%1 ").arg(number.value) + month};
    }
    if (isDate(reading, number) || isYear(reading, number))
        return {number.next, number.first, grouped(number.value, groupSeparator)};
    if (number.value > 10 && !Vocabulary::isCentury(reading.keyAt(number.next)))
        return {number.next, number.first, grouped(number.value, groupSeparator) + u'-' + endingOf(reading, number)};
    return keep(number.next);
}

// A number with no number right after it. Fixed phrases stay, and so do a number that something else goes on
// with and one that opens a sentence, other than a date or a year.
Rewrite single(const Reading& reading, const Number& number, QChar groupSeparator)
{
    if (!number.trusted || number.bareMultiplier || isFixedPhrase(reading, number))
        return keep(number.next);
    const bool opening = opensSentence(reading, number);
    if (const std::optional<Rewrite> fraction = decimal(reading, number, groupSeparator))
        return opening ? keep(fraction->next) : *fraction;
    if (Vocabulary::continuesNumber(reading.keyAt(number.next)) ||
        (opening && !isDate(reading, number) && !isYear(reading, number)))
        return keep(number.next);
    return number.kind == Kind::ordinal ? ordinal(reading, number, groupSeparator)
                                        : cardinal(reading, number, groupSeparator);
}

// «тысяча девятьсот девяностом - девяносто втором году»: the end of a range of years may give only its last
// digits.
qint64 lastYear(const Number& from, const Number& to)
{
    if (to.value >= from.value || to.value >= 100)
        return to.value;
    return from.value - from.value % (to.value < 10 ? 10 : 100) + to.value;
}

// Two numbers with a dash between them: «десять - пятнадцать процентов» → «10–15 %», «с двадцать пятого -
// двадцать восьмого декабря» → «с 25–28 декабря», «в тысяча девятьсот девяностом - девяносто втором году» →
// «в 1990–1992 годах». Numbers up to ten without a unit, centuries and a range that opens a sentence (other
// than dates and years) stay words, joined by a hyphen when each is one word («пять-шесть человек»).
std::optional<Rewrite> range(const Reading& reading, const Number& from, QChar groupSeparator)
{
    if (!reading.dashAfter(from.next - 1))
        return std::nullopt;
    const std::optional<Number> to = reading.numberAt(from.next);
    if (!to || !from.trusted || !to->trusted || from.kind != to->kind || from.bareMultiplier || to->bareMultiplier ||
        reading.numberAfter(*to) || isFixedPhrase(reading, from))
        return std::nullopt;
    const QStringView after = reading.keyAt(to->next);
    const bool years = from.kind == Kind::ordinal && from.value >= 1000 && Vocabulary::isYear(after);
    const qint64 last = years ? lastYear(from, *to) : to->value;
    if (last <= from.value)
        return std::nullopt;
    if (years)
        return Rewrite{to->next + 1, from.first,
                       QStringLiteral("%1–%2 ").arg(from.value).arg(last) +
                           Vocabulary::pluralAfterRange(after, reading.keyBefore(from.first))};
    if (isDate(reading, *to))
        return Rewrite{to->next, from.first, QStringLiteral("%1–%2").arg(from.value).arg(last)};
    const bool inWords = opensSentence(reading, from) || Vocabulary::isCentury(after) ||
                         (last <= 10 && !Vocabulary::isUnit(after) && !Vocabulary::isPercent(after));
    if (inWords && from.next == from.first + 1 && to->next == to->first + 1)
        return Rewrite{to->next, from.first,
                       reading.said(from.first, from.next) + u'-' + reading.said(to->first, to->next)};
    if (inWords)
        return keep(to->next);
    if (from.kind == Kind::ordinal)
        return Rewrite{to->next, from.first,
                       QStringLiteral("%1–%2-").arg(from.value).arg(last) + endingOf(reading, *to)};
    const bool sharedMultiplier = to->endingMultiplier > 0 && from.value < to->value / to->endingMultiplier;
    const QString end = sharedMultiplier ? grouped(to->value / to->endingMultiplier, groupSeparator) + u' ' +
                                               reading.said(to->next - 1, to->next)
                                         : digitsOf(reading, *to, groupSeparator);
    size_t next = to->next;
    const QString digits = withPercent(reading, next, digitsOf(reading, from, groupSeparator) + u'–' + end);
    return Rewrite{next, from.first, digits};
}

// Numbers said one after another are a clock time or stay as said: «пять шесть человек», a dictated phone
// number.
Rewrite rewriteOf(const Reading& reading, const Number& number, QChar groupSeparator)
{
    std::optional<Number> following = reading.numberAfter(number);
    if (!following) {
        if (const std::optional<Rewrite> spokenRange = range(reading, number, groupSeparator))
            return *spokenRange;
        return single(reading, number, groupSeparator);
    }
    if (const std::optional<Rewrite> time = clockTime(reading, number, *following))
        return *time;
    size_t next = following->next;
    while ((following = reading.numberAfter(*following)))
        next = following->next;
    return keep(next);
}

QString roman(qint64 value)
{
    static const std::pair<qint64, QStringView> digits[] = {
        {1000, u"M"}, {900, u"CM"}, {500, u"D"}, {400, u"CD"}, {100, u"C"}, {90, u"XC"}, {50, u"L"},
        {40, u"XL"},  {10, u"X"},   {9, u"IX"},  {5, u"V"},    {4, u"IV"},  {1, u"I"}};
    QString numeral;
    for (const auto& [step, digit] : digits) {
        for (; value >= step; value -= step)
            numeral += digit;
    }
    return numeral;
}

// «в двадцать первом веке» → «в XXI веке», «в девятнадцатом - двадцатом веке» → «в XIX–XX веках».
Rewrite century(const Reading& reading, const Number& number)
{
    const auto isOrdinal = [](const Number& candidate) {
        return candidate.trusted && candidate.kind == Kind::ordinal && candidate.value < 4000;
    };
    if (!isOrdinal(number))
        return keep(number.next);
    if (Vocabulary::isCentury(reading.keyAt(number.next)))
        return {number.next, number.first, roman(number.value)};
    const std::optional<Number> to = reading.dashAfter(number.next - 1) ? reading.numberAt(number.next) : std::nullopt;
    if (!to || !isOrdinal(*to) || to->value <= number.value || !Vocabulary::isCentury(reading.keyAt(to->next)))
        return keep(number.next);
    return {to->next + 1, number.first,
            roman(number.value) + u'–' + roman(to->value) + u' ' +
                Vocabulary::pluralAfterRange(reading.keyAt(to->next), reading.keyBefore(number.first))};
}

// «15 процентов», as a recognizer writes it, → «15 %».
QString percentSigns(const QString& text)
{
    static const Regex percent(QStringLiteral("(?<=\\p{Nd})[ \\x{00A0}]процент(?:а|у|ом|е|ы|ов|ам|ами|ах)?(?!\\p{L})"),
                               Regex::CaseInsensitive);
    return percent.replaceAll(text, QStringLiteral(" %"));
}

} // namespace

namespace RussianNumbers
{

QString digitize(const QString& text, QChar groupSeparator)
{
    return percentSigns(rewritten(text, [groupSeparator](const Reading& reading, const Number& number) {
        return rewriteOf(reading, number, groupSeparator);
    }));
}

QString romanCenturies(const QString& text)
{
    return rewritten(text, century);
}

bool isUnit(QStringView word)
{
    const NumberWords::Entry* entry = NumberWords::shared().find(word);
    return Vocabulary::isUnit(word) || Vocabulary::isPercent(word) || Vocabulary::isMonth(word) ||
           Vocabulary::isYear(word) || (entry && entry->multiplier);
}

} // namespace RussianNumbers
