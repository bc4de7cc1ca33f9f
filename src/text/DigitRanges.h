#pragma once

#include <QString>

// Hyphens between numbers that make a range: «1941-1945», «5-10», «10:00-18:00» get an en dash. A number
// that names something rather than counts it keeps its hyphen: a model («Boeing 737-800», «Ту-154»), a phone
// number («123-45-67»), a date («2024-05-12»), a code.
namespace DigitRanges
{
QString withEnDashes(const QString& text);
} // namespace DigitRanges
