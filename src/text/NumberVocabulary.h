#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// The words around a spoken number that decide how it is written. Each takes a word in lower case with "ё" as
// "е".
namespace NumberVocabulary
{
// A unit or a currency: a number said with one is written in digits, whatever its size.
bool isUnit(QStringView word);
// «процент» in any form, or "%".
bool isPercent(QStringView word);
// A month in the genitive: «января» … «декабря».
bool isMonth(QStringView word);
// «год» in any form, "г", "гг".
bool isYear(QStringView word);
// «век» or «тысячелетие» in any form.
bool isCentury(QStringView word);
// «утра», «часов»…: the hour of a clock time.
bool isHour(QStringView word);
// «в», «к», «до»…: a preposition a clock time follows.
bool isTimePreposition(QStringView word);
// Words that go on with the number before them in a way not read here: collective numbers («двадцать
// пятеро»), the whole part of a fraction said without its fraction («две целых»), «полтора».
bool continuesNumber(QStringView word);
// Number words that are also common words of another meaning («сорока» is a magpie).
bool isHomograph(QStringView word);
// «целых», «целая»…: the whole part of a decimal fraction.
bool isWhole(QStringView word);
// The places of the fraction a denominator names: 1 for «десятых», 2 for «сотых», 3 for «тысячных», 4 for
// «десятитысячных»; 0 for any other word.
int decimalPlaces(QStringView word);
// «году» → «годах» («к», «по» before the range: «годам»), «веке» → «веках»: a year or century word after a
// range, in the plural. Plural forms, and «века», which may be one, stay.
QString pluralAfterRange(QStringView word, QStringView wordBeforeRange);

// «человек», «лет», «минут»…: a noun that, said before a number, makes it approximate («человек двадцать»).
bool countsApproximately(QStringView word);
// «дом», «квартира», «вагон», «глава»…, in any case: a noun a number labels («дом пять», «вагон номер три»).
bool isNumberedNoun(QStringView word);

// A set phrase or a hyperbole with a number in it, said as words whatever the number: «сто раз говорил».
struct FixedPhrase
{
    // The words right before the number, and the number's words with those after them.
    std::vector<QStringView> before;
    std::vector<QStringView> from;
};
const std::vector<FixedPhrase>& fixedPhrases();
} // namespace NumberVocabulary
