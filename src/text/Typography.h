#pragma once

#include "text/TextFormatter.h"

#include <QString>

#include <vector>

class SettingsStore;

// Russian typography for dictated text, applied after spoken commands and before insertion: «ёлочки» with
// „лапками“ inside, dashes, numbers in digits and no-break spaces. The spaces around punctuation, inside
// abbreviations, the hyphens of «кто-то», «из-за», «по-русски» and the capital of a sentence after a period are no
// matter of style and always set. Code, URLs,
// e-mail addresses, file paths and Latin-script sentences stay exactly as they are.
namespace Typography
{
enum class Rule
{
    quotes,
    dashes,
    numbers,
    digits,
    noBreakSpaces,
    romanCenturies,
    minusSign,
    numberSign,
    ellipsis,
    spacing,
    abbreviations,
    hyphens,
    capitals,
};

struct Options
{
    bool quotes = true;
    bool dashes = true;
    // Also the numbers a recognizer writes in digits: «2,5 %», «10 000», «90-х».
    bool numbers = true;
    // Off unless asked for: some programs show no-break spaces oddly.
    bool noBreakSpaces = false;
    // Where editors agree but some writers do otherwise, off unless asked for: «в XXI веке» (a spoken century
    // stays in words without it), «−15» for «-15» and «минус 15», «№ 15» for «№15», «…» for «...».
    bool romanCenturies = false;
    bool minusSign = false;
    bool numberSign = false;
    bool ellipsis = false;
    // What no editor leaves as a recognizer writes it, and no switch of the settings turns off: spaces at
    // punctuation, «кто-то», «т. е.», a sentence's capital. Off only where every rule is to stay off.
    bool corrections = true;
    // In Markdown a line that starts with "- " is a list item; in plain text it is a line of dialogue.
    TextFormatter::OutputFormat format = TextFormatter::OutputFormat::markdown;
};

struct Result
{
    QString text;
    // The rules that changed something, in the order of `Rule`.
    std::vector<Rule> fired;
};

Result apply(const QString& text, const Options& options);
// The switches of the «Форматирование» tab, with the output format of spoken commands when they are on and
// plain text when they are off.
Options optionsFrom(const SettingsStore& settings);
// The rule's name as the user reads it: "кавычки", "тире", "числа", "запись цифр", "неразрывные пробелы",
// "века римскими цифрами", "знак минуса", "пробел после №", "многоточие", "пробелы у знаков препинания",
// "сокращения и инициалы", "дефисы в словах", "заглавная буква предложения".
QString title(Rule rule);
} // namespace Typography
