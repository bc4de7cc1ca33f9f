#include "text/HolidayNames.h"

#include "core/Regex.h"
#include "text/TextKeys.h"

#include <QStringList>

#include <algorithm>

namespace
{

// «праздник», «празднуем», «отмечаем», «отпраздновали»: words before a date that make it the holiday.
bool celebrates(const QString& word)
{
    static const QStringView stems[] = {u"праздн", u"отмеча", u"отмет", u"отпраздн"};
    return std::any_of(std::begin(stems), std::end(stems), [&](QStringView stem) { return word.startsWith(stem); });
}

// The words before `position` in its clause, nearest first, folded.
QStringList wordsBefore(const QString& text, qsizetype position, int count)
{
    static const Regex word(QStringLiteral("\\p{L}+|[^\\p{L}\\s]"));
    const QString folded = TextKeys::foldInPlace(text.left(position));
    const std::vector<Regex::Match> matches = word.matchAll(folded);
    QStringList words;
    for (auto match = matches.rbegin(); match != matches.rend() && words.size() < count; ++match) {
        if (!match->captured().front().isLetter())
            break;
        words.append(match->captured());
    }
    return words;
}

// «поздравляю с 8 марта», «С 8 Марта!», «праздник 8 марта», «отмечаем 8 марта».
bool namesHoliday(const QString& text, qsizetype start, qsizetype end)
{
    const QStringList before = wordsBefore(text, start, 3);
    if (!before.isEmpty() && celebrates(before.front()))
        return true;
    if (before.isEmpty() || (before.front() != u"с" && before.front() != u"со"))
        return false;
    const bool greeting = end < text.size() && text.at(end) == u'!';
    return greeting || std::any_of(before.begin() + 1, before.end(),
                                   [](const QString& word) { return word.startsWith(u"поздрав"); });
}

} // namespace

namespace HolidayNames
{

bool isHoliday(qint64 day, QStringView month)
{
    return (day == 8 && month == u"марта") || ((day == 1 || day == 9) && month == u"мая");
}

QString capitalized(const QString& text)
{
    if (!text.contains(QStringLiteral("марта")) && !text.contains(QStringLiteral("мая")))
        return text;
    static const Regex date(QStringLiteral("(?<![\\p{N}.,:/\\-])([189])[ \\x{00A0}](марта|мая)(?!\\p{L})"));
    return date.replaceAll(text, [&text](const Regex::Match& match) {
        if (!isHoliday(match.captured(1).toLongLong(), match.captured(2)) ||
            !namesHoliday(text, match.start(), match.end()))
            return match.captured();
        QString holiday = match.captured();
        const qsizetype month = match.start(2) - match.start();
        holiday[month] = holiday.at(month).toUpper();
        return holiday;
    });
}

} // namespace HolidayNames
