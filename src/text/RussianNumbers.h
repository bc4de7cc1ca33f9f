#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

// Spelled-out Russian numbers written as digits where a careful writer uses digits: with a unit, a
// currency or percent, in dates, times and years, in decimal fractions and ranges, and every number above
// ten. A cardinal keeps no ending («двадцать пять рублей» → «25 рублей»), an ordinal keeps the ending its
// words carry («двадцать пятого» → «25-го»); numbers up to ten in running text stay words, and so do a
// number that opens a sentence (unless it is a date or a year), set phrases and hyperbole («сто раз
// говорил») and ordinal centuries. Words are recognized from ICU's Russian spell-out rules, and a number is
// written as digits only when ICU spells its value back exactly as it was said.
namespace RussianNumbers
{
// The text with those numbers as digits. Groups of three digits in numbers of five digits and more are
// separated by `groupSeparator`.
QString digitize(const QString& text, QChar groupSeparator);
// Spoken ordinal centuries and millennia in Roman numerals: «в двадцать первом веке» → «в XXI веке»,
// «в девятнадцатом - двадцатом веках» → «в XIX–XX веках».
QString romanCenturies(const QString& text);
// Whether a number stays together with this word (lower case, "ё" as "е"): a unit, a currency, "%", a
// month, a year word, "тысяч", "млн" and the like.
bool isUnit(QStringView word);
} // namespace RussianNumbers
