#include "text/NumberAgreement.h"

#include "core/Regex.h"
#include "text/NumberReading.h"
#include "text/NumberVocabulary.h"
#include "text/TextKeys.h"

#include <functional>
#include <optional>

namespace
{

using NumberReading::grouped;
using NumberReading::Number;
using NumberReading::Reading;
using NumberReading::Rewrite;

bool isCardinal(const Number& number)
{
    return number.trusted && number.kind == NumberWords::Kind::cardinal && !number.bareMultiplier;
}

bool startsWithDigit(const QString& text, qsizetype position)
{
    while (position < text.size() && (text.at(position) == u' ' || text.at(position) == u'\u00A0'))
        ++position;
    return position < text.size() && text.at(position).isDigit();
}

// «от пяти до 25», «с 5 до десяти».
bool isRangeWithDigits(const Reading& reading, const Number& number)
{
    static const Regex fromDigits(
        QStringLiteral("(?<!\\p{L})(?:от|с|со)[ \\x{00A0}]+\\d[\\d,\\x{00A0} ]*[ \\x{00A0}]$"), Regex::CaseInsensitive);
    const QStringView before = reading.keyBefore(number.first);
    if ((before == u"от" || before == u"с" || before == u"со") && reading.keyAt(number.next) == u"до")
        return startsWithDigit(reading.text(), reading.words()[number.next].end);
    if (before != u"до")
        return false;
    return fromDigits.contains(reading.text().left(reading.words()[number.first - 1].start));
}

// The sentence around `position`, up to «.», «!», «?» or a line break.
QString sentenceAround(const QString& text, qsizetype position)
{
    static const QString ends = QStringLiteral(".!?\n");
    qsizetype start = position;
    while (start > 0 && !ends.contains(text.at(start - 1)))
        --start;
    qsizetype end = position;
    while (end < text.size() && !ends.contains(text.at(end)))
        ++end;
    return text.mid(start, end - start);
}

// «дом пять, квартира 12»: another noun with a number in digits in the same sentence.
bool isListedWithDigits(const Reading& reading, const Number& number)
{
    static const Regex numbered(QStringLiteral("(?<!\\p{L})(\\p{L}+)[ \\x{00A0}]+\\d"));
    if (!NumberVocabulary::isNumberedNoun(reading.keyBefore(number.first)) || reading.numberAfter(number))
        return false;
    const QString sentence = sentenceAround(reading.text(), reading.words()[number.first].start);
    for (const Regex::Match& match : numbered.matchAll(sentence)) {
        if (NumberVocabulary::isNumberedNoun(TextKeys::foldInPlace(match.captured(1))))
            return true;
    }
    return false;
}

} // namespace

namespace NumberAgreement
{

QString halves(const QString& text)
{
    return NumberReading::rewritten(text, [](const Reading& reading, const Number& number) -> Rewrite {
        const QStringView unit = reading.keyAt(number.next + 2);
        if (!isCardinal(number) || reading.text().at(reading.words()[number.first].start).isUpper() ||
            reading.keyAt(number.next) != u"с" || reading.keyAt(number.next + 1) != u"половиной" ||
            !(NumberVocabulary::isPercent(unit) || NumberVocabulary::isUnit(unit)))
            return NumberReading::keep(number.next);
        return {number.next + 2, number.first, QStringLiteral("%1,5").arg(number.value)};
    });
}

QString agreed(const QString& text, QChar groupSeparator)
{
    return NumberReading::rewritten(text, [groupSeparator](const Reading& reading, const Number& number) -> Rewrite {
        if (!isCardinal(number) || !(isRangeWithDigits(reading, number) || isListedWithDigits(reading, number)))
            return NumberReading::keep(number.next);
        return {number.next, number.first, grouped(number.value, groupSeparator)};
    });
}

} // namespace NumberAgreement
