#pragma once

#include <QString>
#include <QStringView>

// Unicode code points inside UTF-16 text.
namespace CodePoints
{
// The code point that starts at `position` (a lone surrogate stands for itself); 0 past the end.
char32_t at(QStringView text, qsizetype position);
// How many UTF-16 units the code point takes.
qsizetype width(char32_t codePoint);
// The text with its first code point in upper case (full mapping: "ß" gives "SS").
QString upperFirst(const QString& text);
// Whether the first code point is a lower-case or an upper-case letter.
bool startsWithLower(QStringView text);
bool startsWithUpper(QStringView text);
} // namespace CodePoints
