#include "SpeechTestSupport.h"

#include <algorithm>

namespace
{

using Kind = SpeechIssue::Kind;

QString cleaned(const QString& text)
{
    return SpeechQuality::clean(text, SpeechQuality::analyze(text));
}

SpeechIssue removableFiller(qsizetype location, qsizetype length)
{
    return {Kind::filler, {location, length}, {}, QStringLiteral("слово-паразит"), true, {}};
}

} // namespace

TEST(SpeechClean, CutsFillersWithTheCommasAndSpacesAroundThem)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        // At the start: the filler and ", " go, the next word is capitalized.
        {u"Ну, я пошёл.", u"Я пошёл."},
        {u"Ну,я пошёл.", u"Я пошёл."},
        // Between commas: one comma before, the one after goes too.
        {u"Я, ну, пошёл.", u"Я пошёл."},
        // Before a sentence end.
        {u"Я пошёл, короче.", u"Я пошёл."},
        {u"Я пошёл, короче!", u"Я пошёл!"},
        // After a sentence end, with the capital moving to the next word.
        {u"Я пришёл. Короче, начнём.", u"Я пришёл. Начнём."},
        // After a line break; the line stays.
        {u"Строка один.\nну, строка два.", u"Строка один.\nСтрока два."},
        {u"Ну вот, начнём.", u"Начнём."},
        {u"Собственно говоря, так сказать, всё.", u"Всё."},
        {u"Э-э, эм, м-м, да.", u"Да."},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(cleaned(QString::fromUtf16(text)), QString::fromUtf16(expected))
            << QString::fromUtf16(text).toStdString();
}

TEST(SpeechClean, CutsRepetitionsButKeepsTheCommaAfterThem)
{
    EXPECT_EQ(cleaned(QStringLiteral("было было")), QStringLiteral("Было"));
    EXPECT_EQ(cleaned(QStringLiteral("Мы были были там.")), QStringLiteral("Мы были там."));
    EXPECT_EQ(cleaned(QStringLiteral("Он ушёл ушёл.")), QStringLiteral("Он ушёл."));
    // The comma belongs to the sentence, not to the repeated word.
    EXPECT_EQ(cleaned(QStringLiteral("Я думаю думаю, что он придёт.")), QStringLiteral("Я думаю, что он придёт."));
    EXPECT_EQ(cleaned(QStringLiteral("Я думаю думаю,что он придёт.")), QStringLiteral("Я думаю,что он придёт."));
}

TEST(SpeechClean, AFillerThatIsASentenceOfItsOwnGoesWithItsFullStop)
{
    EXPECT_EQ(cleaned(QStringLiteral("Я пришёл. Вот. Начнём.")), QStringLiteral("Я пришёл. Начнём."));
    EXPECT_EQ(cleaned(QStringLiteral("Ну. Пошли.")), QStringLiteral("Пошли."));
    EXPECT_EQ(cleaned(QStringLiteral("Ну . Пошли.")), QStringLiteral("Пошли."));
    EXPECT_EQ(cleaned(QStringLiteral("Блин!.. Опять.")), QStringLiteral("Опять."));
    EXPECT_EQ(cleaned(QStringLiteral("Короче.")), QString());
    // Without a sentence end before it, the mark stays for the sentence it closes.
    EXPECT_EQ(cleaned(QStringLiteral("Всё готово\nну.")), QStringLiteral("Всё готово."));
}

TEST(SpeechClean, ReplacesRemovablePhrasingsAndLeavesTheOthers)
{
    EXPECT_EQ(cleaned(QStringLiteral("Вообщем, всё готово.")), QStringLiteral("В общем, всё готово."));
    EXPECT_EQ(cleaned(QStringLiteral("Да, вообщем, всё.")), QStringLiteral("Да, в общем, всё."));
    EXPECT_EQ(cleaned(QStringLiteral("это самый лучший день.")), QStringLiteral("Это самый лучший день."));
    // A phrasing finding whose hint no rule knows is left alone.
    const QString text = QStringLiteral("Вообщем, да.");
    SpeechIssue unknown{Kind::phrasing, {0, 7}, QStringLiteral("Вообщем"), QStringLiteral("другое"), true, {}};
    EXPECT_EQ(SpeechQuality::clean(text, {unknown}), text);
}

TEST(SpeechClean, SkipsFindingsThatAreNotRemovableOrDoNotFitTheText)
{
    const QString text = QStringLiteral("Ну, да.");
    SpeechIssue kept = removableFiller(0, 2);
    kept.removable = false;
    EXPECT_EQ(SpeechQuality::clean(text, {kept}), text);
    for (const SpeechIssue& stale :
         {removableFiller(5, 4), removableFiller(-1, 2), removableFiller(2, -3), removableFiller(100, 1)})
        EXPECT_EQ(SpeechQuality::clean(text, {stale}), text);
    EXPECT_EQ(SpeechQuality::clean(text, {removableFiller(5, 4), removableFiller(0, 2)}), QStringLiteral("Да."));
}

TEST(SpeechClean, WorksFromTheEndWhateverOrderTheFindingsCome)
{
    const QString text = QStringLiteral("Ну, я, короче, пошёл пошёл, блин.");
    QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    ASSERT_EQ(issues.size(), 4);
    EXPECT_EQ(SpeechQuality::clean(text, issues), QStringLiteral("Я пошёл."));
    std::reverse(issues.begin(), issues.end());
    EXPECT_EQ(SpeechQuality::clean(text, issues), QStringLiteral("Я пошёл."));
}

TEST(SpeechClean, TidiesSpacesAndTrims)
{
    EXPECT_EQ(SpeechQuality::clean(QStringLiteral("  это  просто\t\t текст , да !\n"), {}),
              QStringLiteral("Это просто текст, да!"));
    EXPECT_EQ(SpeechQuality::clean(QStringLiteral("первая строка\n\nвторая"), {}),
              QStringLiteral("Первая строка\n\nВторая"));
    EXPECT_EQ(SpeechQuality::clean(QStringLiteral(" \n "), {}), QString());
}

TEST(SpeechClean, RangesAfterAnEmoji)
{
    EXPECT_EQ(cleaned(QStringLiteral("Привет 😀. Ну, начнём.")), QStringLiteral("Привет 😀. Начнём."));
    EXPECT_EQ(cleaned(QStringLiteral("😀 да да, конечно.")), QStringLiteral("😀 Да, конечно."));
}

TEST(SpeechCapitalize, SentenceStartsAndLineStarts)
{
    EXPECT_EQ(SpeechQuality::capitalizeSentences(QStringLiteral("привет. как дела? хорошо! да… нет\nещё")),
              QStringLiteral("Привет. Как дела? Хорошо! Да… Нет\nЕщё"));
    // Quotes, dashes and brackets wait for the letter; a digit takes the place of the capital.
    EXPECT_EQ(SpeechQuality::capitalizeSentences(QStringLiteral("«привет», — сказал он. (да) 2 яблока. 3-й")),
              QStringLiteral("«Привет», — сказал он. (Да) 2 яблока. 3-й"));
    EXPECT_EQ(SpeechQuality::capitalizeSentences(QStringLiteral("уже Большие. ВСЕ")),
              QStringLiteral("Уже Большие. ВСЕ"));
    // A letter outside the basic plane is one character, not two.
    EXPECT_EQ(SpeechQuality::capitalizeSentences(QStringLiteral("𐐨 а. 𐐨 б")), QStringLiteral("𐐀 а. 𐐀 б"));
    EXPECT_EQ(SpeechQuality::capitalizeSentences(QStringLiteral("😀 ура")), QStringLiteral("😀 Ура"));
    EXPECT_EQ(SpeechQuality::capitalizeSentences(QString()), QString());
}

TEST(SpeechAutoClean, CountsTheRemovableFindings)
{
    const auto [text, count] = SpeechQuality::autoClean(QStringLiteral("Ну, было было. Это самый лучший день."));
    EXPECT_EQ(text, QStringLiteral("Было. Это самый лучший день."));
    EXPECT_EQ(count, 2);

    // Nothing removable: the text comes back exactly as it was, untidied.
    const QString untouched = QStringLiteral("  это самый лучший  день ");
    const auto same = SpeechQuality::autoClean(untouched);
    EXPECT_EQ(same.text, untouched);
    EXPECT_EQ(same.removedCount, 0);
}
