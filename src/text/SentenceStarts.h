#pragma once

#include <QString>

// The first letter of a sentence after the period of the one before, where a recognizer left it small:
// «Итак. пятнадцать процентов против» → «Итак. Пятнадцать процентов против». A period that ends an abbreviation
// («т. е.», «г.», «см.», «5 км.»), an initial or a number («Глава 1.») ends no sentence; a small letter after «…»,
// «?» or «!» may go on with the sentence and stays.
namespace SentenceStarts
{
QString capitalized(const QString& text);
} // namespace SentenceStarts
