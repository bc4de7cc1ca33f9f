#include "text/SentenceStarts.h"

#include "core/Regex.h"
#include "text/TextKeys.h"

#include <QSet>

namespace
{

// Words cut short by a period that a sentence goes on after: «см. выше», «ул. Ленина», «и др. авторы».
bool isAbbreviation(const QString& folded)
{
    static const QSet<QString> words{
        QStringLiteral("др"),  QStringLiteral("пр"),   QStringLiteral("см"),    QStringLiteral("ср"),
        QStringLiteral("гг"),  QStringLiteral("вв"),   QStringLiteral("ул"),    QStringLiteral("пер"),
        QStringLiteral("пл"),  QStringLiteral("обл"),  QStringLiteral("им"),    QStringLiteral("стр"),
        QStringLiteral("рис"), QStringLiteral("табл"), QStringLiteral("гл"),    QStringLiteral("пп"),
        QStringLiteral("ст"),  QStringLiteral("кв"),   QStringLiteral("корп"),  QStringLiteral("тыс"),
        QStringLiteral("млн"), QStringLiteral("млрд"), QStringLiteral("трлн"),  QStringLiteral("руб"),
        QStringLiteral("коп"), QStringLiteral("долл"), QStringLiteral("напр"),  QStringLiteral("проф"),
        QStringLiteral("доц"), QStringLiteral("акад"), QStringLiteral("тов"),   QStringLiteral("зам"),
        QStringLiteral("нач"), QStringLiteral("тел"),  QStringLiteral("англ"),  QStringLiteral("лат"),
        QStringLiteral("рус"), QStringLiteral("нем"),  QStringLiteral("франц"), QStringLiteral("изд"),
        QStringLiteral("ред"), QStringLiteral("прим"), QStringLiteral("вкл"),   QStringLiteral("искл"),
        QStringLiteral("мин"), QStringLiteral("сек"),  QStringLiteral("пос"),   QStringLiteral("дер"),
        QStringLiteral("св"),  QStringLiteral("ок"),   QStringLiteral("max"),   QStringLiteral("min")};
    return words.contains(folded);
}

bool isHorizontalSpace(QChar c)
{
    return c == u' ' || c == u'\u00A0';
}

// Whether the period at `period` ends the sentence before it: it follows a word of two letters and more that
// is no abbreviation and no unit after a number, or a closing quotation mark or bracket.
bool endsSentence(const QString& text, qsizetype period)
{
    if (period == 0 || text.at(period - 1) == u'.')
        return false;
    if (QStringView(u"»”)").contains(text.at(period - 1)))
        return true;
    qsizetype start = period;
    while (start > 0 && text.at(start - 1).isLetter())
        --start;
    const qsizetype length = period - start;
    if (length < 2 || (start > 0 && !isHorizontalSpace(text.at(start - 1)) && text.at(start - 1) != u'('))
        return false;
    qsizetype before = start;
    while (before > 0 && isHorizontalSpace(text.at(before - 1)))
        --before;
    const bool unitAfterNumber = before < start && before > 0 && text.at(before - 1).isDigit() && length <= 4;
    return !unitAfterNumber && !isAbbreviation(TextKeys::foldInPlace(text.mid(start, length)));
}

} // namespace

namespace SentenceStarts
{

QString capitalized(const QString& text)
{
    static const Regex smallStart(QStringLiteral("\\.[ \\x{00A0}]+\\p{Cyrillic}"));
    QString result = text;
    for (const Regex::Match& match : smallStart.matchAll(text)) {
        const qsizetype letter = match.end() - 1;
        if (text.at(letter).isLower() && endsSentence(text, match.start()))
            result[letter] = text.at(letter).toUpper();
    }
    return result;
}

} // namespace SentenceStarts
