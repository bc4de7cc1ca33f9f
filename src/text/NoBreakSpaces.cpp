#include "text/NoBreakSpaces.h"

#include "core/Regex.h"
#include "text/RussianNumbers.h"
#include "text/TextKeys.h"

#include <algorithm>

namespace
{

constexpr char16_t noBreakSpace = u'\u00A0';

bool isDash(QChar c)
{
    return c == u'-' || c == u'–' || c == u'—';
}

bool startsWord(const QString& text, qsizetype position)
{
    return position == 0 || !text.at(position - 1).isLetter();
}

bool isShortWord(QStringView word)
{
    static const QStringView words[] = {u"в",  u"к",  u"с",  u"у",  u"о",  u"и",  u"а", u"но",
                                        u"на", u"за", u"по", u"от", u"до", u"из", u"не"};
    return word.size() <= 2 && std::any_of(std::begin(words), std::end(words), [&](QStringView shortWord) {
               return word.compare(shortWord, Qt::CaseInsensitive) == 0;
           });
}

bool isNumber(QStringView word)
{
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); });
}

// The letters after `position`, or the one sign there ("%", "₽", "°"…).
QStringView unitAt(const QString& text, qsizetype position)
{
    qsizetype end = position;
    while (end < text.size() && text.at(end).isLetter())
        ++end;
    return QStringView(text).mid(position, std::max<qsizetype>(end - position, 1));
}

// Whether the space at `space` is to join the word before it to what follows: after a short preposition or
// conjunction («в доме», «и т. д.»), between a number and its unit, after "№" and "§".
bool holdsTogether(const QString& text, qsizetype space)
{
    if (space == 0 || space + 1 >= text.size() || text.at(space + 1).isSpace())
        return false;
    qsizetype start = space;
    while (start > 0 && text.at(start - 1).isLetterOrNumber())
        --start;
    const QStringView before = QStringView(text).mid(start, space - start);
    // «из-за», «кое-как»: not a preposition of its own.
    if (isShortWord(before))
        return start == 0 || !isDash(text.at(start - 1));
    if (isNumber(before))
        return RussianNumbers::isUnit(TextKeys::foldInPlace(unitAt(text, space + 1).toString()));
    const QChar sign = text.at(space - 1);
    return (sign == u'№' || sign == u'§') && text.at(space + 1).isDigit();
}

} // namespace

namespace NoBreakSpaces
{

// After one- and two-letter prepositions and conjunctions, between a number and its unit, in initials and
// in «т. е.», «т. д.».
QString placed(const QString& text)
{
    static const Regex initials(QStringLiteral("(\\p{Lu}\\.) ?(\\p{Lu}\\.) +(?=\\p{Lu}\\p{Ll})"));
    static const Regex initialsAfter(QStringLiteral("(\\p{Lu}\\p{Ll}+) +(\\p{Lu}\\.) ?(\\p{Lu}\\.)(?!\\p{L})"));
    static const Regex abbreviation(QStringLiteral("([тТ])\\. ?([едпк])\\.(?!\\p{L})"));
    QString result = text;
    for (qsizetype space = text.indexOf(u' '); space >= 0; space = text.indexOf(u' ', space + 1)) {
        if (holdsTogether(text, space))
            result[space] = noBreakSpace;
    }
    const QChar space(noBreakSpace);
    const auto atWordStart = [&result](const Regex::Match& match, const QString& joined) {
        return startsWord(result, match.start()) ? joined : match.captured();
    };
    result = initials.replaceAll(result, [&](const Regex::Match& match) {
        return atWordStart(match, match.captured(1) + space + match.captured(2) + space);
    });
    result = initialsAfter.replaceAll(result, [&](const Regex::Match& match) {
        return atWordStart(match, match.captured(1) + space + match.captured(2) + space + match.captured(3));
    });
    return abbreviation.replaceAll(result, [&](const Regex::Match& match) {
        return atWordStart(match, match.captured(1) + u'.' + space + match.captured(2) + u'.');
    });
}

} // namespace NoBreakSpaces
