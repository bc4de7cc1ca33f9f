#include "text/DigitRanges.h"

#include "core/Regex.h"

namespace
{

bool isDash(QChar c)
{
    return c == u'-' || c == u'–' || c == u'—';
}

bool separatesDigits(QChar c)
{
    return QStringView(u".,:/").contains(c);
}

// Neither part of a longer chain of numbers and hyphens (a phone number, a date) nor of a word («Ту-154»).
bool standsAlone(const QString& text, qsizetype start, qsizetype end)
{
    const auto joins = [](QChar c) { return c.isLetterOrNumber() || isDash(c); };
    if (start > 0 && (joins(text.at(start - 1)) ||
                      (start > 1 && separatesDigits(text.at(start - 1)) && text.at(start - 2).isDigit())))
        return false;
    return end == text.size() || !(joins(text.at(end)) || (end + 1 < text.size() && separatesDigits(text.at(end)) &&
                                                           text.at(end + 1).isDigit()));
}

// A Latin word, "№" or "#" right before the number: «Boeing 737-800», «№ 12-34».
bool namesSomething(const QString& text, qsizetype start)
{
    qsizetype before = start;
    while (before > 0 && text.at(before - 1).isSpace())
        --before;
    if (before == 0)
        return false;
    const QChar c = text.at(before - 1);
    return c == u'№' || c == u'#' || (c.isLetter() && c.script() == QChar::Script_Latin);
}

// «1941-45»: the end of the range may give only its last digits.
qint64 endOf(const QString& from, const QString& to)
{
    if (to.size() >= from.size())
        return to.toLongLong();
    return (from.left(from.size() - to.size()) + to).toLongLong();
}

// Counts go up from the first to the second, and neither starts with a zero.
bool isAscending(const QString& from, const QString& to)
{
    if ((from.size() > 1 && from.front() == u'0') || (to.size() > 1 && to.front() == u'0'))
        return false;
    return from.toLongLong() < endOf(from, to);
}

} // namespace

namespace DigitRanges
{

QString withEnDashes(const QString& text)
{
    static const Regex times(QStringLiteral("(\\d{1,2}:\\d{2})-(\\d{1,2}:\\d{2})"));
    static const Regex numbers(QStringLiteral("(\\d+)-(\\d+)"));
    const QString result = times.replaceAll(text, [&text](const Regex::Match& match) {
        return standsAlone(text, match.start(), match.end()) ? match.captured(1) + u'–' + match.captured(2)
                                                             : match.captured();
    });
    return numbers.replaceAll(result, [&result](const Regex::Match& match) {
        const bool range = standsAlone(result, match.start(), match.end()) && !namesSomething(result, match.start()) &&
                           isAscending(match.captured(1), match.captured(2));
        return range ? match.captured(1) + u'–' + match.captured(2) : match.captured();
    });
}

} // namespace DigitRanges
