#include "TypographyRows.h"

#include <gtest/gtest.h>

// What recognizers write every day, as Russian editors set it; each row also holds what must stay as it is.

namespace
{

using TypographyRows::Row;

const Typography::Options spaced{.noBreakSpaces = true};

} // namespace

TEST(Typography, SetsDigitsTheRussianWayButNotVersionsAddressesDatesOrCodes)
{
    const Row rows[] = {
        {u"Рост 2.5 % за версию 2.5.1, с 192.168.0.1 в 10.30 12.05.2024.",
         u"Рост 2,5 % за версию 2.5.1, с 192.168.0.1 в 10.30 12.05.2024."},
        {u"Выручка 12345.5 рублей, тираж 10000, а в 2024 году 1500 человек; индекс 123456.",
         u"Выручка 12 345,5 рублей, тираж 10 000, а в 2024 году 1500 человек; индекс 123456."},
        {u"тираж на 10000 рублей", u"тираж на⍽10⍽000⍽рублей", spaced},
        {u"Это 3.5 млн. рублей, 5 км. пешком, 2 кг. муки и 500 г. сахара в 2024 г. Итого 3,5 млн.",
         u"Это 3,5 млн рублей, 5 км пешком, 2 кг муки и 500 г сахара в 2024 г. Итого 3,5 млн."},
        // An ordinal keeps the short ending, a cardinal none.
        {u"В 90-ых годах на 21-ом этаже с 1-ого числа, в 1990-х.",
         u"В 90-х годах на 21-м этаже с 1-го числа, в 1990-х."},
        {u"В 2-х экземплярах до 5-ти лет, на 3-и сутки.", u"В 2 экземплярах до 5 лет, на 3-и сутки."},
        // A range of quantities gets an en dash, a model number keeps its hyphen.
        {u"Работаем 10:00-18:00, обед 13:00-14:00.", u"Работаем 10:00–18:00, обед 13:00–14:00."},
        {u"Boeing 737-800 летит в 9-12 часов, а телефон 123-45-67.",
         u"Boeing 737-800 летит в 9–12 часов, а телефон 123-45-67."},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, KeepsTheStraightQuotesOfCommandsAndCalls)
{
    const Row rows[] = {
        {u"Выполни git commit -m \"fix typo\" и \"проверь\".", u"Выполни git commit -m \"fix typo\" и «проверь»."},
        {u"Вызови print(\"привет\") или задай name=\"Иван\" в \"конфиге\".",
         u"Вызови print(\"привет\") или задай name=\"Иван\" в «конфиге»."},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, WritesTheNumbersOfOneConstructionAlikeButLeavesAnApproximationInWords)
{
    const Row rows[] = {
        {u"Пришло от пяти до двадцати пяти человек.", u"Пришло от 5 до 25 человек."},
        {u"Адрес: дом пять, квартира двенадцать.", u"Адрес: дом 5, квартира 12."},
        {u"Инфляция 0,7 %, а ставка выросла на три с половиной процента.",
         u"Инфляция 0,7 %, а ставка выросла на 3,5 %."},
        // The noun before the number means "about".
        {u"Пришло человек двадцать, ждали лет пять, около сорока минут.", nullptr},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, WritesSignsForSpokenNumbersWhereTheyAreClear)
{
    const Row rows[] = {
        {u"Садитесь в вагон номер три, я взял номер два.", u"Садитесь в вагон № 3, я взял номер два."},
        {u"Оплатите счёт N5 и счет N 12.", u"Оплатите счёт № 5 и счет № 12."},
        {u"Матч закончился со счётом два один, а не два три четыре.",
         u"Матч закончился со счётом 2:1, а не два три четыре."},
        {u"Звоните восемь девять один шесть один два три четыре пять шесть семь, код один два три четыре.",
         u"Звоните 8 916 123-45-67, код один два три четыре."},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, SpacesAbbreviationsAndInitials)
{
    const Row rows[] = {
        {u"Это т.е. то, т.к. надо, и т.п., и т.д.", u"Это т. е. то, т. к. надо, и т. п., и т. д."},
        {u"И.И. Петров и Пушкин А.С. пишут, и т.д..", u"И.⍽И.⍽Петров и⍽Пушкин⍽А.⍽С. пишут, и⍽т.⍽д.", spaced},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, HyphenatesTheWordsOfAClosedList)
{
    const Row rows[] = {
        {u"Кто то пришёл из за двери, что то сказал по русски и ушёл куда нибудь.",
         u"Кто-то пришёл из-за двери, что-то сказал по-русски и ушёл куда-нибудь."},
        {u"Во первых, по моему, это кое как сделано. Во вторых, из под стола.",
         u"Во-первых, по-моему, это кое-как сделано. Во-вторых, из-под стола."},
        // A preposition with its object stays apart.
        {u"Сделай по другому. По моему мнению, во вторых числах так же, как то, что было.",
         u"Сделай по-другому. По моему мнению, во вторых числах так же, как то, что было."},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, RemovesTheRecognizersSpacesAroundPunctuation)
{
    const Row rows[] = {
        {u"Привет , как дела ? Итог:всё готово ; ладно !", u"Привет, как дела? Итог: всё готово; ладно!"},
        {u"Он ( если успеет ) придёт в 10:00, счёт 3:2 :) и .bashrc",
         u"Он (если успеет) придёт в 10:00, счёт 3:2 :) и .bashrc"},
        {u"Назовём его \" план Б \" , ладно ?", u"Назовём его «план Б», ладно?"},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, OpensASentenceAfterAPeriodWithACapitalAndANumberInWords)
{
    const Row rows[] = {
        {u"Итак. пятнадцать процентов против, двадцать за.", u"Итак. Пятнадцать процентов против, 20 за."},
        {u"Всё готово. двадцать пять человек пришли. в зале было тихо.",
         u"Всё готово. Двадцать пять человек пришли. В зале было тихо."},
        // A period of an abbreviation, an initial, a number or a unit ends no sentence; «…», «?» and «!» may go on
        // with one.
        {u"См. выше, т. е. пять, ул. садовая, в 2024 г. было, А. пушкин. итак, ну… пусть? так! ладно.",
         u"См. выше, т. е. пять, ул. садовая, в 2024 г. было, А. пушкин. Итак, ну… пусть? так! ладно."},
        {u"Глава 1. введение, 5 км. пешком. шесть дней", u"Глава 1. введение, 5 км пешком. Шесть дней"},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, SetsTheNumbersOfALaterSentenceAsThoseOfTheFirst)
{
    const Row rows[] = {
        {u"На странице семь, в пункте три точка два.", u"На странице 7, в пункте 3.2."},
        {u"Откройте учебник. на странице семь, в пункте три точка два.",
         u"Откройте учебник. На странице 7, в пункте 3.2."},
        {u"Готово. Вышла версия два точка пять точка один, прошло двадцать дней.",
         u"Готово. Вышла версия 2.5.1, прошло 20 дней."},
        // «точка» after no label stays a word.
        {u"Три точка два. поставь точку два раза.", u"Три точка два. Поставь точку два раза."},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, KeepsTheDigitsOfAFourDigitNumberTogetherOutsideAListOfLargerOnes)
{
    const Row rows[] = {
        {u"Цена 1 500 рублей, вес 2 500 кг, тысяча пятьсот метров.", u"Цена 1500 рублей, вес 2500 кг, 1500 метров."},
        {u"Цена 1⍽500⍽рублей и 1 500,5 рубля.", u"Цена 1500⍽рублей и 1500,5 рубля."},
        {u"Зарплата от 1500 до 25 000 рублей, от тысячи пятисот до двадцати тысяч пятисот.",
         u"Зарплата от 1 500 до 25 000 рублей, от 1 500 до 20 500."},
        {u"Суммы 1 500, 12 000 и 150 000 рублей.", nullptr},
        // Each sentence's figures are a list of their own.
        {u"Встреча в среду! Суммы 1 500 и 25 000 рублей. Цена 1 500 рублей? Итого 2 500.",
         u"Встреча в среду! Суммы 1 500 и 25 000 рублей. Цена 1500 рублей? Итого 2500."},
        {u"В 2024 году 15 000 рублей, телефон 8 916 123 45 67, +7 916 123-45-67.", nullptr},
    };
    TypographyRows::expectTypeset(rows);
}

TEST(Typography, NeverGroupsTheDigitsOfAnIdentifier)
{
    const Row rows[] = {
        {u"Номер заказа 123456, счёта 40817810, по накладной 654321, артикул товара 112233, № 123456.", nullptr},
        {u"Пишите: 123456, г. Москва, ул. Тверская; индексом 654321.", nullptr},
        {u"номер заказа сто двадцать три тысячи четыреста пятьдесят шесть", u"номер заказа 123456"},
        // A quantity stays a quantity.
        {u"Счёт на 150000 рублей, тираж 10000.", u"Счёт на 150 000 рублей, тираж 10 000."},
        {u"Заплатили сто двадцать три тысячи четыреста пятьдесят шесть рублей.", u"Заплатили 123 456 рублей."},
    };
    TypographyRows::expectTypeset(rows);
}
