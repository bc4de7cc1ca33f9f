#pragma once

#include <QChar>
#include <QString>

// A number of four digits keeps them together, in money and measures too: «1 500 рублей» → «1500 рублей».
// In a list of figures with larger numbers, split in groups of three, it is split like them: «от 1500 до
// 25 000 рублей» → «от 1 500 до 25 000 рублей». A year is never split, and a chain of digit groups (a phone
// number) stays as written.
namespace FourDigitNumbers
{
QString set(const QString& text, QChar groupSeparator);
} // namespace FourDigitNumbers
