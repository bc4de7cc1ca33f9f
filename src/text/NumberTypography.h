#pragma once

#include <QChar>
#include <QString>

// Numbers a recognizer writes in digits, set the Russian way: a decimal comma («2,5 %»), groups of three in
// numbers of five digits and more («12 345,5») and none in one of four («1500 рублей») unless it stands in a
// list with larger ones, no period after a unit that takes none («3,5 млн рублей»),
// the short ending of an ordinal («90-х», «21-м», «1-го») and none on a cardinal («в 2 экземплярах», «до 5
// лет»). Version numbers, IP addresses, dates, times, identifiers (of orders, accounts,
// documents, postal codes, after «№» or «номер»), codes and phone numbers stay as they are.
namespace NumberTypography
{
// Groups of three digits are separated by `groupSeparator`.
QString apply(const QString& text, QChar groupSeparator);
} // namespace NumberTypography
