#include "text/TextFormatter.h"

#include "text/TextKeys.h"

#include <gtest/gtest.h>

namespace
{

using TextFormatter::OutputFormat;

struct Row
{
    const char16_t* input;
    const char16_t* expected;
};

void expectFormatted(std::initializer_list<Row> rows, const QHash<QString, QString>& macros = {})
{
    for (const Row& row : rows)
        EXPECT_EQ(TextFormatter::process(QString::fromUtf16(row.input), {OutputFormat::markdown, macros}),
                  QString::fromUtf16(row.expected))
            << QString::fromUtf16(row.input).toStdString();
}

} // namespace

TEST(Normalize, FoldsCaseYoAndEverythingButLettersAndNumbers)
{
    for (const Row& row :
         {Row{u"С красной строки!", u"с красной строки"}, Row{u"  Новый  абзац...", u"новый абзац"},
          Row{u"ЁЛКА, ёж — 2 шт.", u"елка еж 2 шт"}, Row{u"Amara.org\n\tсубтитры", u"amara org субтитры"},
          // A decomposed "ё" and a combining accent stay inside their word; every diaeresis of an "е" folds away
          // with it, in whatever order its marks came, or the next fold would read "ё" again.
          Row{u"Е\u0308ж за́мок", u"еж за\u0301мок"}, Row{u"ё\u0308ж е\u0316\u0308ж", u"еж е\u0316ж"},
          Row{u"«…» 😀 !", u""}})
        EXPECT_EQ(TextKeys::normalize(QString::fromUtf16(row.input)), QString::fromUtf16(row.expected))
            << QString::fromUtf16(row.input).toStdString();
}

// The sentences one after another, "|" between them, each line feed before one as "↵".
QString sentencesOf(const char16_t* text)
{
    QStringList shown;
    for (const TextFormatter::Sentence& sentence : TextFormatter::splitSentences(QString::fromUtf16(text)))
        shown.append(QString(sentence.lineFeedsBefore, u'↵') + sentence.text);
    return shown.join(u'|');
}

TEST(SplitSentences, SplitsOnlyBeforeACapitalAfterWhitespaceAndCountsTheLineFeedsThere)
{
    EXPECT_EQ(sentencesOf(u"Текст. новый абзац. дальше"), QStringLiteral("Текст. новый абзац. дальше"));
    EXPECT_EQ(sentencesOf(u"Это т.е. Иван?! Да… Нет:\nКонец.  "), QStringLiteral("Это т.е.|Иван?!|Да…|Нет:|↵Конец."));
    EXPECT_EQ(sentencesOf(u"Один.Два. три"), QStringLiteral("Один.Два. три"));
    EXPECT_EQ(sentencesOf(u"Раз.\n\n\nДва. \n Три.\n- Четыре."), QStringLiteral("Раз.|↵↵Два.|↵Три.\n- Четыре."));
}

TEST(Process, ParagraphsHeadingsListsAndEmptyResults)
{
    expectFormatted({
        {u"Первая мысль. Новый абзац. Вторая мысль.", u"Первая мысль.\n\nВторая мысль."},
        {u"Строка один. Новая строка. Строка два.", u"Строка один.\nСтрока два."},
        {u"Первая строка.\nВторая.\n\nТретья. Список. Молоко.\n\nХлеб.",
         u"Первая строка.\nВторая.\n\nТретья.\n\n- Молоко.\n- Хлеб."},
        {u"Один. С красной строки! НОВЫЙ АБЗАЦ!!! Два. Абзац. Абзац.", u"Один.\n\nДва."},
        {u"Новая строка. Текст. Новая строка. Перенос строки. Ещё.", u"Текст.\nЕщё."},
        {u"привет. Мир", u"Привет. Мир"},
        {u"«привет» мир.", u"«привет» мир."},
        {u"Заголовок: Итоги встречи. Всё прошло хорошо.", u"## Итоги встречи\n\nВсё прошло хорошо."},
        {u"Подзаголовок. План работ.", u"### План работ"},
        {u"Большой заголовок. Отчёт.", u"# Отчёт"},
        {u"Текст. Заголовок — итоги... Дальше!", u"Текст.\n\n## Итоги\n\nДальше!"},
        {u"Заголовок Итоги.", u"Заголовок Итоги."},
        {u"Heading, Summary?", u"## Summary?"},
        {u"Заголовок.", u""},
        {u"Список. Молоко. Хлеб. Конец списка. Готово.", u"- Молоко.\n- Хлеб.\n\nГотово."},
        {u"Нумерованный список. Пункт: купить молоко. Пункт, позвонить маме. Конец списка.",
         u"1. Купить молоко.\n2. Позвонить маме."},
        {u"Список. Следующий пункт — чай. Item. Пункт сахар. Пунктуация важна.",
         u"- Чай.\n- Сахар.\n- Пунктуация важна."},
        {u"Пункт: вне списка.", u"Пункт: вне списка."},
        // Commands that close a list.
        {u"Список. Молоко. Новый абзац. Текст.", u"- Молоко.\n\nТекст."},
        {u"Список. Молоко. Заголовок. Итоги.", u"- Молоко.\n\n## Итоги"},
        {u"Список. Молоко. Нумерованный список. Раз.", u"- Молоко.\n\n1. Раз."},
        {u"Список. Молоко. Новая строка. Хлеб.", u"- Молоко.\n\n- Хлеб."},
        {u"Текст. Список. Конец списка. Новый абзац.", u"Текст."},
        {u"  ...  ", u""},
        {u"Новый абзац. Список. Конец списка.", u""},
    });
}

// «Зачеркни» takes back the last sentence that added to the text, whatever it became (a line, a list item, a heading,
// a macro), together with the commands said after it; said again, the sentence before.
TEST(Process, StrikingTakesBackTheLastSentenceSaid)
{
    expectFormatted(
        {
            {u"Встреча в среду. Зачеркни. Встреча в четверг.", u"Встреча в четверг."},
            {u"Один. Два. Три. Зачеркни! Удали последнюю фразу. Четыре.", u"Один. Четыре."},
            {u"Список. Хлеб. Молоко. Зачеркни. Сыр. Конец списка. Итог.", u"- Хлеб.\n- Сыр.\n\nИтог."},
            {u"Текст. Заголовок: итоги. Зачеркни. Дальше.", u"Текст. Дальше."},
            {u"Первый. Новый абзац. Второй. Новая строка. Зачеркни. Третий.", u"Первый.\n\nТретий."},
            {u"Спасибо. Подпись. Scratch that.", u"Спасибо."},
            {u"Зачеркни. Зачеркни. Текст. Зачеркни. Зачеркни.", u""},
            {u"Не зачеркни это.", u"Не зачеркни это."},
        },
        {{QStringLiteral("подпись"), QStringLiteral("—\nИван")}});
}

TEST(Process, MacrosFireOnlyOnAWholeSentence)
{
    expectFormatted({{u"Спасибо. Подпись.", u"Спасибо.\n\n—\nС уважением,\nИван"},
                     {u"Поставь подпись под договором.", u"Поставь подпись под договором."},
                     {u"Список. Молоко.", u"[мой список]\n\nМолоко."},
                     {u"Заголовок. Шаблон!", u"{Дата} и {время"}},
                    {{QStringLiteral("подпись"), QStringLiteral("—\nС уважением,\nИван")},
                     {QStringLiteral("список"), QStringLiteral("[мой список]")},
                     {QStringLiteral("шаблон"), QStringLiteral("{Дата} и {время")}});
}
