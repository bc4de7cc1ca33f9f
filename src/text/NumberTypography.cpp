#include "text/NumberTypography.h"

#include "core/Regex.h"
#include "text/FourDigitNumbers.h"
#include "text/NumberIdentifiers.h"
#include "text/NumberVocabulary.h"
#include "text/RussianNumbers.h"
#include "text/TextKeys.h"

#include <QSet>

#include <optional>

namespace
{

bool isHorizontalSpace(QChar c)
{
    return c == u' ' || c == u'\u00A0';
}

// The word after `position` and the spaces there, in lower case with "ё" as "е", or the one sign there.
QString wordAfter(const QString& text, qsizetype position)
{
    while (position < text.size() && isHorizontalSpace(text.at(position)))
        ++position;
    qsizetype end = position;
    while (end < text.size() && text.at(end).isLetter())
        ++end;
    return TextKeys::foldInPlace(text.mid(position, std::max<qsizetype>(end - position, 1)));
}

// The word before `position` and the spaces there, folded as `wordAfter` does it.
QString wordBefore(const QString& text, qsizetype position)
{
    while (position > 0 && isHorizontalSpace(text.at(position - 1)))
        --position;
    qsizetype start = position;
    while (start > 0 && text.at(start - 1).isLetter())
        --start;
    return TextKeys::foldInPlace(text.mid(start, std::max<qsizetype>(position - start, 1)));
}

// A unit, a currency, "%", a year word, «тысяч», «млн» or «раза»: what a quantity is counted in.
bool countsQuantity(const QString& word)
{
    return (RussianNumbers::isUnit(word) && !NumberVocabulary::isMonth(word)) || word == u"раза";
}

QString grouped(const QString& digits, QChar separator)
{
    QString result = digits;
    for (qsizetype position = result.size() - 3; position > 0; position -= 3)
        result.insert(position, separator);
    return result;
}

// «2.5 %», «3.5 млн», «12345.5» → «2,5 %», «3,5 млн», «12345,5»: a point between digits is a decimal point
// only before a unit or after five digits and more; «раздел 3.2», «версия 2.5», «в 10.30» keep theirs.
QString decimalCommas(const QString& text)
{
    static const Regex decimal(
        QStringLiteral("(?<![\\p{L}\\p{N}.,:/\\-])(\\d+)\\.(\\d+)(?![\\p{N}\\p{L}]|[.,:/\\-]\\p{N})"));
    return decimal.replaceAll(text, [&text](const Regex::Match& match) {
        if (match.length(1) < 5 && !countsQuantity(wordAfter(text, match.end())))
            return match.captured();
        return match.captured(1) + u',' + match.captured(2);
    });
}

// «10000», «12345,5» → «10 000», «12 345,5». Not an identifier, an account or a phone number: no number
// right after a word that names one, or named by the words before it without a unit after it, that starts with
// a zero, has ten digits and more without a unit or stands in a chain of digit groups («8 916 1234567»).
QString groupedDigits(const QString& text, QChar separator)
{
    static const Regex longNumber(
        QStringLiteral("(?<![\\p{L}\\p{N}.,:/\\-№#+_]|\\p{N}[ \\x{00A0}])\\d{5,}(?![\\p{N}\\p{L}_]|[.:/"
                       "\\-]\\p{N}|[ \\x{00A0}]\\p{N})"));
    return longNumber.replaceAll(text, [&](const Regex::Match& match) {
        const QString digits = match.captured();
        const bool quantity = countsQuantity(wordAfter(text, match.end()));
        if (digits.front() == u'0' || !(digits.size() < 10 || quantity) ||
            NumberIdentifiers::namesNumber(wordBefore(text, match.start())) ||
            (!quantity && NumberIdentifiers::identifies(text, match.start(), match.end())))
            return digits;
        return grouped(digits, separator);
    });
}

// Whether the text at `position` reads as the end of a sentence: nothing more, a line break or a capital.
bool endsSentence(const QString& text, qsizetype position)
{
    while (position < text.size() && isHorizontalSpace(text.at(position)))
        ++position;
    return position == text.size() || text.at(position) == u'\n' || text.at(position).isUpper();
}

// «год» has its period: «в 2024 г.».
bool isYearBefore(const QString& text, qsizetype space)
{
    qsizetype start = space;
    while (start > 0 && text.at(start - 1).isDigit())
        --start;
    const qint64 value = text.mid(start, space - start).toLongLong();
    const bool fraction = start > 1 && text.at(start - 1) == u',' && text.at(start - 2).isDigit();
    return !fraction && value >= 1000 && value < 3000;
}

// «3,5 млн. рублей», «5 км.», «500 г. муки» → «3,5 млн рублей», «5 км», «500 г муки». A period that ends the
// sentence stays, as the sentence's own.
QString unitPeriods(const QString& text)
{
    static const Regex unit(
        QStringLiteral("(?<=\\d[ \\x{00A0}])(млн|млрд|трлн|км|кг|см|мм|мг|мл|га|м|г|л|ч|мин)\\.(?![\\p{L}.])"));
    return unit.replaceAll(text, [&text](const Regex::Match& match) {
        const bool keepsPeriod =
            endsSentence(text, match.end()) || (match.captured(1) == u"г" && isYearBefore(text, match.start() - 1));
        return keepsPeriod ? match.captured() : match.captured(1);
    });
}

bool isConsonant(QChar c)
{
    return c.isLetter() && !QStringView(u"аеёиоуыэюяйьъ").contains(c);
}

// Whether the number ends in 11…19: «12-х» is «двенадцатых».
bool endsInTeen(QStringView digits)
{
    return digits.size() >= 2 && digits.at(digits.size() - 2) == u'1';
}

// Endings only a cardinal takes: «5-ти» (пяти), «2-х» (двух), «7-ми» (семи), «3-мя» (тремя).
bool isCardinalEnding(QStringView digits, QStringView ending)
{
    static const QStringView always[] = {u"ти", u"ух", u"ех", u"ёх", u"мя", u"умя", u"емя", u"ёмя"};
    if (std::find(std::begin(always), std::end(always), ending) != std::end(always))
        return true;
    const QChar last = digits.back();
    if (ending == u"х")
        return QStringView(u"234").contains(last) && !endsInTeen(digits) && digits.size() < 4;
    return ending == u"ми" && QStringView(u"78").contains(last) && !endsInTeen(digits);
}

// The full endings of an ordinal that a careful writer shortens.
bool isFullOrdinalEnding(QStringView ending)
{
    static const QSet<QString> endings{
        QStringLiteral("ый"),  QStringLiteral("ий"),  QStringLiteral("ой"),  QStringLiteral("ая"),
        QStringLiteral("яя"),  QStringLiteral("ое"),  QStringLiteral("ее"),  QStringLiteral("ые"),
        QStringLiteral("ие"),  QStringLiteral("ых"),  QStringLiteral("их"),  QStringLiteral("ым"),
        QStringLiteral("им"),  QStringLiteral("ом"),  QStringLiteral("ем"),  QStringLiteral("ого"),
        QStringLiteral("его"), QStringLiteral("ому"), QStringLiteral("ему"), QStringLiteral("ую"),
        QStringLiteral("юю"),  QStringLiteral("ыми"), QStringLiteral("ими"), QStringLiteral("ей"),
        QStringLiteral("ья"),  QStringLiteral("ье"),  QStringLiteral("ьи")};
    return endings.contains(ending.toString());
}

// «90-ых», «21-ом», «1-ого» → «90-х», «21-м», «1-го»: one letter after a vowel, two after a consonant;
// «2-х экземплярах», «5-ти» → «2 экземплярах», «5».
QString numberEndings(const QString& text)
{
    static const Regex ending(QStringLiteral("(?<![\\p{L}\\p{N}\\-.,:/])(\\d+)-([а-яё]{1,3})(?![\\p{L}\\p{N}\\-])"));
    return ending.replaceAll(text, [](const Regex::Match& match) {
        const QString digits = match.captured(1);
        const QString written = match.captured(2);
        if (isCardinalEnding(digits, written))
            return digits;
        if (!isFullOrdinalEnding(written))
            return match.captured();
        const bool twoLetters = isConsonant(written.at(written.size() - 2));
        return digits + u'-' + written.right(twoLetters ? 2 : 1);
    });
}

} // namespace

namespace NumberTypography
{

QString apply(const QString& text, QChar groupSeparator)
{
    return unitPeriods(
        FourDigitNumbers::set(groupedDigits(decimalCommas(numberEndings(text)), groupSeparator), groupSeparator));
}

} // namespace NumberTypography
