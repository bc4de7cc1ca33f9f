#pragma once

#include <QChar>
#include <QString>

// Numbers of one construction written one way: when one of them is in digits, the others are too. «от пяти
// до 25 человек» → «от 5 до 25 человек», «дом пять, квартира 12» → «дом 5, квартира 12»; and «три с
// половиной процента» → «3,5 %», as «три процента» is «3 %».
namespace NumberAgreement
{
// «три с половиной процента» → «3,5 процента», before the numbers are written in digits.
QString halves(const QString& text);
// The words of a number that stands in a range or a list beside one in digits, written as digits after the
// other numbers are. Groups of three digits are separated by `groupSeparator`.
QString agreed(const QString& text, QChar groupSeparator);
} // namespace NumberAgreement
