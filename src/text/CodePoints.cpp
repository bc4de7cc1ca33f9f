#include "text/CodePoints.h"

namespace CodePoints
{

char32_t at(QStringView text, qsizetype position)
{
    if (position < 0 || position >= text.size())
        return 0;
    const QChar first = text.at(position);
    if (first.isHighSurrogate() && position + 1 < text.size() && text.at(position + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(first, text.at(position + 1));
    return first.unicode();
}

qsizetype width(char32_t codePoint)
{
    return QChar::requiresSurrogates(codePoint) ? 2 : 1;
}

QString upperFirst(const QString& text)
{
    if (text.isEmpty())
        return text;
    const qsizetype length = width(at(text, 0));
    return text.left(length).toUpper() + text.mid(length);
}

bool startsWithLower(QStringView text)
{
    return !text.isEmpty() && QChar::isLower(at(text, 0));
}

bool startsWithUpper(QStringView text)
{
    return !text.isEmpty() && QChar::isUpper(at(text, 0));
}

} // namespace CodePoints
