#pragma once

#include <QString>

// Spaces inside abbreviations and initials, which recognizers write solid: «т.е.», «т.к.», «и т.д.», «И.И.
// Петров», «Пушкин А.С.» → «т. е.», «т. к.», «и т. д.», «И. И. Петров», «Пушкин А. С.». The no-break spaces
// rule, when on, then makes those spaces no-break ones.
namespace Abbreviations
{
QString spaced(const QString& text);
} // namespace Abbreviations
