#include "text/TextFormatter.h"

#include <gtest/gtest.h>

namespace
{

using TextFormatter::OutputFormat;

QString formatted(const QString& text, OutputFormat format = OutputFormat::markdown,
                  const QHash<QString, QString>& macros = {})
{
    return TextFormatter::process(text, TextFormatter::Config{format, macros});
}

} // namespace

TEST(Normalize, FoldsCaseYoAndEverythingButLettersAndNumbers)
{
    EXPECT_EQ(TextFormatter::normalize(QStringLiteral("С красной строки!")), QStringLiteral("с красной строки"));
    EXPECT_EQ(TextFormatter::normalize(QStringLiteral("  Новый  абзац...")), QStringLiteral("новый абзац"));
    EXPECT_EQ(TextFormatter::normalize(QStringLiteral("ЁЛКА, ёж — 2 шт.")), QStringLiteral("елка еж 2 шт"));
    EXPECT_EQ(TextFormatter::normalize(QStringLiteral("Amara.org\n\tсубтитры")), QStringLiteral("amara org субтитры"));
    // A decomposed "ё" and a combining accent stay inside their word.
    EXPECT_EQ(TextFormatter::normalize(QStringLiteral("Е\u0308ж за́мок")), QStringLiteral("еж за\u0301мок"));
    EXPECT_EQ(TextFormatter::normalize(QStringLiteral("«…» 😀 !")), QString());
}

TEST(SplitSentences, SplitsOnlyBeforeACapitalAfterWhitespace)
{
    EXPECT_EQ(TextFormatter::splitSentences(QStringLiteral("Текст. новый абзац. дальше")),
              QStringList{QStringLiteral("Текст. новый абзац. дальше")});
    EXPECT_EQ(TextFormatter::splitSentences(QStringLiteral("Это т.е. Иван?! Да… Нет:\nКонец.  ")),
              (QStringList{QStringLiteral("Это т.е."), QStringLiteral("Иван?!"), QStringLiteral("Да…"),
                           QStringLiteral("Нет:"), QStringLiteral("Конец.")}));
    EXPECT_EQ(TextFormatter::splitSentences(QStringLiteral("Один.Два. три")),
              QStringList{QStringLiteral("Один.Два. три")});
    EXPECT_EQ(TextFormatter::splitSentences(QStringLiteral("  хвост без точки  ")),
              QStringList{QStringLiteral("хвост без точки")});
    EXPECT_TRUE(TextFormatter::splitSentences(QString()).isEmpty());
}

TEST(Process, ParagraphsAndLineBreaks)
{
    EXPECT_EQ(formatted(QStringLiteral("Первая мысль. Новый абзац. Вторая мысль.")),
              QStringLiteral("Первая мысль.\n\nВторая мысль."));
    EXPECT_EQ(formatted(QStringLiteral("Строка один. Новая строка. Строка два.")),
              QStringLiteral("Строка один.\nСтрока два."));
    EXPECT_EQ(formatted(QStringLiteral("Один. С красной строки! НОВЫЙ АБЗАЦ!!! Два. Абзац. Абзац.")),
              QStringLiteral("Один.\n\nДва."));
    EXPECT_EQ(formatted(QStringLiteral("Новая строка. Текст. Новая строка. Перенос строки. Ещё.")),
              QStringLiteral("Текст.\nЕщё."));
    EXPECT_EQ(formatted(QStringLiteral("привет. Мир")), QStringLiteral("Привет. Мир"));
}

TEST(Process, HeadingsInBothFormats)
{
    const QString text = QStringLiteral("Заголовок: Итоги встречи. Всё прошло хорошо.");
    EXPECT_EQ(formatted(text), QStringLiteral("## Итоги встречи\n\nВсё прошло хорошо."));
    EXPECT_EQ(formatted(text, OutputFormat::plain), QStringLiteral("Итоги встречи\n\nВсё прошло хорошо."));
    EXPECT_EQ(formatted(QStringLiteral("Подзаголовок. План работ.")), QStringLiteral("### План работ"));
    EXPECT_EQ(formatted(QStringLiteral("Большой заголовок. Отчёт.")), QStringLiteral("# Отчёт"));
    EXPECT_EQ(formatted(QStringLiteral("Текст. Заголовок — итоги... Дальше!")),
              QStringLiteral("Текст.\n\n## Итоги\n\nДальше!"));
    EXPECT_EQ(formatted(QStringLiteral("Заголовок Итоги.")), QStringLiteral("Заголовок Итоги."));
    EXPECT_EQ(formatted(QStringLiteral("Heading, Summary?")), QStringLiteral("## Summary?"));
    EXPECT_EQ(formatted(QStringLiteral("Заголовок.")), QString());
    EXPECT_EQ(formatted(QStringLiteral("Заголовок: .")), QString());
}

TEST(Process, BulletAndNumberedLists)
{
    const QString bullets = QStringLiteral("Список. Молоко. Хлеб. Конец списка. Готово.");
    EXPECT_EQ(formatted(bullets), QStringLiteral("- Молоко.\n- Хлеб.\n\nГотово."));
    EXPECT_EQ(formatted(bullets, OutputFormat::plain), QStringLiteral("— Молоко.\n— Хлеб.\n\nГотово."));
    const QString numbered =
        QStringLiteral("Нумерованный список. Пункт: купить молоко. Пункт, позвонить маме. Конец списка.");
    EXPECT_EQ(formatted(numbered), QStringLiteral("1. Купить молоко.\n2. Позвонить маме."));
    EXPECT_EQ(formatted(numbered, OutputFormat::plain), QStringLiteral("1. Купить молоко.\n2. Позвонить маме."));
    EXPECT_EQ(formatted(QStringLiteral("Список. Следующий пункт — чай. Item. Пункт сахар. Пунктуация важна.")),
              QStringLiteral("- Чай.\n- Сахар.\n- Пунктуация важна."));
    EXPECT_EQ(formatted(QStringLiteral("Пункт: вне списка.")), QStringLiteral("Пункт: вне списка."));
}

TEST(Process, CommandsThatCloseAList)
{
    EXPECT_EQ(formatted(QStringLiteral("Список. Молоко. Новый абзац. Текст.")), QStringLiteral("- Молоко.\n\nТекст."));
    EXPECT_EQ(formatted(QStringLiteral("Список. Молоко. Заголовок. Итоги.")), QStringLiteral("- Молоко.\n\n## Итоги"));
    EXPECT_EQ(formatted(QStringLiteral("Список. Молоко. Нумерованный список. Раз.")),
              QStringLiteral("- Молоко.\n\n1. Раз."));
    EXPECT_EQ(formatted(QStringLiteral("Список. Молоко. Новая строка. Хлеб.")), QStringLiteral("- Молоко.\n\n- Хлеб."));
    EXPECT_EQ(formatted(QStringLiteral("Текст. Список. Конец списка. Новый абзац.")), QStringLiteral("Текст."));
}

TEST(Process, MacrosFireOnlyOnAWholeSentence)
{
    const QHash<QString, QString> macros{{QStringLiteral("подпись"), QStringLiteral("—\nС уважением,\nИван")},
                                         {QStringLiteral("список"), QStringLiteral("[мой список]")},
                                         {QStringLiteral("шаблон"), QStringLiteral("{Дата} и {время")}};
    EXPECT_EQ(formatted(QStringLiteral("Спасибо. Подпись."), OutputFormat::markdown, macros),
              QStringLiteral("Спасибо.\n\n—\nС уважением,\nИван"));
    EXPECT_EQ(formatted(QStringLiteral("Поставь подпись под договором."), OutputFormat::markdown, macros),
              QStringLiteral("Поставь подпись под договором."));
    EXPECT_EQ(formatted(QStringLiteral("Список. Молоко."), OutputFormat::markdown, macros),
              QStringLiteral("[мой список]\n\nМолоко."));
    EXPECT_EQ(formatted(QStringLiteral("Заголовок. Шаблон!"), OutputFormat::markdown, macros),
              QStringLiteral("{Дата} и {время"));
}

TEST(Process, EmptyAndCommandOnlyInputGiveNothing)
{
    EXPECT_EQ(formatted(QString()), QString());
    EXPECT_EQ(formatted(QStringLiteral("  ...  ")), QString());
    EXPECT_EQ(formatted(QStringLiteral("Новый абзац. Список. Конец списка.")), QString());
}

TEST(Commands, StructuralCommandsAndCapitalization)
{
    for (const char16_t* command : {u"новый абзац", u"new line", u"маркированный список", u"numbered list",
                                    u"закончить список", u"главный заголовок", u"subheading"})
        EXPECT_TRUE(TextFormatter::isStructuralCommand(QString::fromUtf16(command)));
    EXPECT_FALSE(TextFormatter::isStructuralCommand(QStringLiteral("пункт")));
    EXPECT_FALSE(TextFormatter::isStructuralCommand(QStringLiteral("новый")));
    EXPECT_EQ(TextFormatter::capitalizeFirstLetter(QStringLiteral("ёлка")), QStringLiteral("Ёлка"));
    EXPECT_EQ(TextFormatter::capitalizeFirstLetter(QStringLiteral("«ёлка»")), QStringLiteral("«ёлка»"));
    EXPECT_EQ(TextFormatter::capitalizeFirstLetter(QString()), QString());
    EXPECT_EQ(TextFormatter::headingText(QStringLiteral(" итоги . . ")), QStringLiteral("Итоги"));
    EXPECT_EQ(TextFormatter::outputFormatNamed(QStringLiteral("plain")), OutputFormat::plain);
    EXPECT_EQ(TextFormatter::outputFormatNamed(QStringLiteral("Plain")), OutputFormat::markdown);
}
