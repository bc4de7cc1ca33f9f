#pragma once

#include <QString>

// No-break spaces after one- and two-letter prepositions and conjunctions («в⍽доме»), between a number and
// its unit («25⍽рублей»), after «№» and «§», in initials («А.⍽С.⍽Пушкин») and in «т.⍽е.», «т.⍽д.».
namespace NoBreakSpaces
{
QString placed(const QString& text);
} // namespace NoBreakSpaces
