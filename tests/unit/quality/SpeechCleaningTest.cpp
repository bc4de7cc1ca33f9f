#include "SpeechTestSupport.h"

#include <algorithm>
#include <functional>

namespace
{

using Kind = SpeechIssue::Kind;

SpeechIssue removableFiller(qsizetype location, qsizetype length)
{
    return {Kind::filler, {location, length}, {}, "слово-паразит", true, {}};
}

void expectPairs(const std::function<QString(const QString&)>& function,
                 std::initializer_list<std::pair<const char16_t*, const char16_t*>> cases)
{
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(function(QString::fromUtf16(text)), QString::fromUtf16(expected))
            << QString::fromUtf16(text).toStdString();
}

} // namespace

TEST(SpeechClean, CutsWhatTheAnalysisFoundWithThePunctuationAroundIt)
{
    expectPairs([](const QString& text) { return SpeechQuality::clean(text, SpeechQuality::analyze(text)); },
                {// A filler at the start takes ", " with it and the next word is capitalized.
                 {u"Ну, я пошёл.", u"Я пошёл."},
                 {u"Ну,я пошёл.", u"Я пошёл."},
                 // Between commas: one comma before, the one after goes too.
                 {u"Я, ну, пошёл.", u"Я пошёл."},
                 // Before a sentence end.
                 {u"Я пошёл, короче.", u"Я пошёл."},
                 {u"Я пошёл, короче!", u"Я пошёл!"},
                 // After a sentence end or a line break, with the capital moving to the next word.
                 {u"Я пришёл. Короче, начнём.", u"Я пришёл. Начнём."},
                 {u"Строка один.\nну, строка два.", u"Строка один.\nСтрока два."},
                 {u"Ну вот, начнём.", u"Начнём."},
                 {u"Собственно говоря, так сказать, всё.", u"Всё."},
                 {u"Э-э, эм, м-м, да.", u"Да."},
                 // A repetition goes, but the comma after it belongs to the sentence.
                 {u"было было", u"Было"},
                 {u"Мы были были там.", u"Мы были там."},
                 {u"Он ушёл ушёл.", u"Он ушёл."},
                 {u"Я думаю думаю, что он придёт.", u"Я думаю, что он придёт."},
                 {u"Я думаю думаю,что он придёт.", u"Я думаю,что он придёт."},
                 // A filler that is a sentence of its own goes with its full stop.
                 {u"Я пришёл. Вот. Начнём.", u"Я пришёл. Начнём."},
                 {u"Ну. Пошли.", u"Пошли."},
                 {u"Ну . Пошли.", u"Пошли."},
                 {u"Блин!.. Опять.", u"Опять."},
                 {u"Короче.", u""},
                 // Without a sentence end before it, the mark stays for the sentence it closes.
                 {u"Всё готово\nну.", u"Всё готово."},
                 // Removable phrasings are replaced, the others stay.
                 {u"Вообщем, всё готово.", u"В общем, всё готово."},
                 {u"Да, вообщем, всё.", u"Да, в общем, всё."},
                 {u"это самый лучший день.", u"Это самый лучший день."},
                 // Ranges after an emoji.
                 {u"Привет 😀. Ну, начнём.", u"Привет 😀. Начнём."},
                 {u"😀 да да, конечно.", u"😀 Да, конечно."}});
}

TEST(SpeechClean, SkipsFindingsThatAreNotRemovableOrDoNotFitTheText)
{
    const QString text = "Ну, да.";
    SpeechIssue kept = removableFiller(0, 2);
    kept.removable = false;
    for (const SpeechIssue& skipped :
         {kept, removableFiller(5, 4), removableFiller(-1, 2), removableFiller(2, -3), removableFiller(100, 1)})
        EXPECT_EQ(SpeechQuality::clean(text, {skipped}), text);
    EXPECT_EQ(SpeechQuality::clean(text, {removableFiller(5, 4), removableFiller(0, 2)}), "Да.");
    // A phrasing finding whose hint no rule knows is left alone.
    const QString phrased = "Вообщем, да.";
    EXPECT_EQ(SpeechQuality::clean(phrased, {{Kind::phrasing, {0, 7}, "Вообщем", "другое", true, {}}}), phrased);
}

TEST(SpeechClean, WorksFromTheEndWhateverOrderTheFindingsCome)
{
    const QString text = "Ну, я, короче, пошёл пошёл, блин.";
    QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    ASSERT_EQ(issues.size(), 4);
    EXPECT_EQ(SpeechQuality::clean(text, issues), "Я пошёл.");
    std::reverse(issues.begin(), issues.end());
    EXPECT_EQ(SpeechQuality::clean(text, issues), "Я пошёл.");
}

TEST(SpeechClean, TidiesSpacesTrimsAndCapitalizes)
{
    expectPairs([](const QString& text) { return SpeechQuality::clean(text, {}); },
                {{u"  это  просто\t\t текст , да !\n", u"Это просто текст, да!"},
                 {u"первая строка\n\nвторая", u"Первая строка\n\nВторая"},
                 {u" \n ", u""}});
    expectPairs(SpeechQuality::capitalizeSentences,
                {{u"привет. как дела? хорошо! да… нет\nещё", u"Привет. Как дела? Хорошо! Да… Нет\nЕщё"},
                 // Quotes, dashes and brackets wait for the letter; a digit takes the place of the capital.
                 {u"«привет», — сказал он. (да) 2 яблока. 3-й", u"«Привет», — сказал он. (Да) 2 яблока. 3-й"},
                 {u"уже Большие. ВСЕ", u"Уже Большие. ВСЕ"},
                 // A letter outside the basic plane is one character, not two.
                 {u"𐐨 а. 𐐨 б", u"𐐀 а. 𐐀 б"},
                 {u"😀 ура", u"😀 Ура"},
                 {u"", u""}});
}

TEST(SpeechAutoClean, CountsTheRemovableFindings)
{
    const auto [text, count] = SpeechQuality::autoClean("Ну, было было. Это самый лучший день.");
    EXPECT_EQ(text, "Было. Это самый лучший день.");
    EXPECT_EQ(count, 2);

    // Nothing removable: the text comes back exactly as it was, untidied.
    const QString untouched = "  это самый лучший  день ";
    const auto same = SpeechQuality::autoClean(untouched);
    EXPECT_EQ(same.text, untouched);
    EXPECT_EQ(same.removedCount, 0);
}
