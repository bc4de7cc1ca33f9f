#pragma once

#include <QChar>
#include <QString>

// Numbers a recognizer spells out where an editor writes signs: «вагон номер три» → «вагон № 3» (after a
// noun a number labels), «в пункте три точка два» → «в пункте 3.2», «счёт N5» → «счёт № 5», «со счётом два один» → «со
// счётом 2:1» (a score after «счёт», and another pair of numbers later in the same sentence), and a phone number said
// digit by digit, seven, ten or eleven of them, or in its groups after 8 or «плюс семь» → «8 916 123-45-67», «+7 916
// 123-45-67».
namespace SpokenNumberSigns
{
// The spaces inside a phone number are `groupSeparator`.
QString written(const QString& text, QChar groupSeparator);
} // namespace SpokenNumberSigns
