#pragma once

#include <QString>
#include <QStringView>

// Holidays named by their date keep the capital the rules give them: «8 Марта», «1 Мая», «9 Мая». An ordinary
// date keeps its small letter: «8 марта мы улетаем».
namespace HolidayNames
{
// Whether the day and the month (lower case, genitive) name a holiday.
bool isHoliday(qint64 day, QStringView month);
// «поздравляю с 8 марта», «праздник 9 мая», «отмечаем 1 мая» → «… 8 Марта», «… 9 Мая», «… 1 Мая»: the month of a
// holiday's date after words that can only mean the holiday.
QString capitalized(const QString& text);
} // namespace HolidayNames
