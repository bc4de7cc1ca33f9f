#include "text/Abbreviations.h"

#include "core/Regex.h"

namespace Abbreviations
{

QString spaced(const QString& text)
{
    // «и т.д..»: the sentence's period after the abbreviation's is one too many.
    static const Regex abbreviation(QStringLiteral("(?<![\\p{L}\\p{N}])([тТ])\\. ?([едпкнч])\\.(?:\\.(?!\\.))?"));
    static const Regex initials(QStringLiteral("(?<![\\p{L}\\p{N}.])([А-ЯЁ])\\.([А-ЯЁ])\\. ?(?=[А-ЯЁ]\\p{Ll})"));
    static const Regex initialsAfter(
        QStringLiteral("(?<=[А-ЯЁ]\\p{Ll}{1,30}[ \\x{00A0}])([А-ЯЁ])\\.([А-ЯЁ])\\.(?![\\p{L}\\p{N}])"));
    QString result = abbreviation.replaceAll(text, QStringLiteral("$1. $2."));
    result = initials.replaceAll(result, QStringLiteral("$1. $2. "));
    return initialsAfter.replaceAll(result, QStringLiteral("$1. $2."));
}

} // namespace Abbreviations
