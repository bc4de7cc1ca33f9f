#include "text/TextKeys.h"

#include "text/CodePoints.h"

namespace
{

bool hasCombiningMark(const QString& text)
{
    for (qsizetype position = 0; position < text.size();) {
        const char32_t c = CodePoints::at(text, position);
        if (c >= 0x300 && QChar::isMark(c))
            return true;
        position += CodePoints::width(c);
    }
    return false;
}

} // namespace

namespace TextKeys
{

QString normalize(const QString& text)
{
    QString lowered = text.toLower();
    // With combining marks the letters are taken apart, so that "ё" is "е" with a diaeresis however it was
    // written and whatever other marks it carries, and put together again at the end.
    const bool decomposed = hasCombiningMark(lowered);
    if (decomposed)
        lowered = lowered.normalized(QString::NormalizationForm_D);
    QString normalized;
    normalized.reserve(lowered.size());
    bool spaceBefore = false;
    bool previousKept = false;
    char32_t base = 0;
    for (qsizetype position = 0; position < lowered.size();) {
        char32_t c = CodePoints::at(lowered, position);
        position += CodePoints::width(c);
        if (c == U'ё')
            c = U'е';
        // A combining mark belongs to the letter before it (one user-perceived character).
        const bool mark = QChar::isMark(c);
        const bool keep = QChar::isLetterOrNumber(c) || (previousKept && mark);
        previousKept = keep;
        if (!keep) {
            spaceBefore = true;
            continue;
        }
        if (!mark)
            base = c;
        else if (base == U'е' && c == U'\u0308')
            continue;
        if (spaceBefore && !normalized.isEmpty())
            normalized += u' ';
        spaceBefore = false;
        if (QChar::requiresSurrogates(c)) {
            normalized += QChar(QChar::highSurrogate(c));
            normalized += QChar(QChar::lowSurrogate(c));
        } else {
            normalized += QChar(static_cast<char16_t>(c));
        }
    }
    return decomposed ? normalized.normalized(QString::NormalizationForm_C) : normalized;
}

QString foldInPlace(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        c = c.toLower();
        if (c == u'ё')
            c = u'е';
    }
    return folded;
}

} // namespace TextKeys
