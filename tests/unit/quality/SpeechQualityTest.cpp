#include "quality/SpeechQuality.h"

#include "quality/SpeechCleaning.h"
#include "quality/SpeechRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace
{

using Kind = SpeechIssue::Kind;
using Range = SpeechIssue::Range;

QList<SpeechIssue> issuesOfKind(Kind kind, const QString& text, const QString& hintStart = {})
{
    QList<SpeechIssue> selected;
    for (const SpeechIssue& issue : SpeechQuality::analyze(text)) {
        if (issue.kind == kind && issue.hint.startsWith(hintStart))
            selected.append(issue);
    }
    return selected;
}

SpeechIssue styleIssue(Range range, const QString& text, const QString& hint, const QList<Range>& extra = {})
{
    return {Kind::style, range, text, hint, false, extra};
}

// Distinct two-letter words that no rule treats specially: none is a filler or
// "я", none is frequent.
QStringList neutralWords(int count)
{
    static const QString letters = QStringLiteral("бвгдзклмнпрстфхцчшщ");
    QStringList words;
    for (int index = 0; words.size() < count; ++index)
        words.append(QString(letters.at(index / letters.size() % letters.size())) + letters.at(index % letters.size()));
    return words;
}

QString sentenceOfWords(int count)
{
    return neutralWords(count).join(u' ') + u'.';
}

SpeechIssue filler(qsizetype location, qsizetype length, bool removable = true)
{
    return {Kind::filler, {location, length}, {}, "слово-паразит", removable, {}};
}

void expectPairs(const std::function<QString(const QString&)>& function,
                 std::initializer_list<std::pair<QString, QString>> cases)
{
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(function(text), expected) << text.toStdString();
}

} // namespace

TEST(SpeechAnalysis, WhereFindingsAreAndAreNot)
{
    // Ranges count UTF-16 code units and come in text order; an emoji is not the
    // whitespace a repetition needs.
    const std::pair<QString, QList<Range>> cases[] = {{"Вообщем, ну, было было.", {{0, 7}, {9, 2}, {18, 4}}},
                                                      {"Привет 😀. Ну, начнём 😀 начнём.", {{11, 2}}},
                                                      // The second occurrence, whatever its case.
                                                      {"Было БЫЛО, и он пришёл пришёл.", {{5, 4}, {23, 6}}},
                                                      // Not repetitions: a comma between, a shared start.
                                                      {"было, было", {}},
                                                      {"на наш дом", {}},
                                                      // Frequent words need more than three letters.
                                                      {"Что он, что она, что они.", {}},
                                                      // A different opener breaks the run.
                                                      {"Мы пришли. Мы сели. Он ушёл. Мы спали. Мы ели.", {}},
                                                      // Near misses of the phrasing rules.
                                                      {"более красивый", {}},
                                                      {"положить сюда", {}}};
    for (const auto& [text, ranges] : cases) {
        QList<Range> found;
        for (const SpeechIssue& issue : SpeechQuality::analyze(text))
            found.append(issue.range);
        EXPECT_EQ(found, ranges) << text.toStdString();
    }
}

TEST(SpeechFillers, CountOnlyWhereTheyStandApart)
{
    const std::pair<QString, Range> cases[] = {
        {"Ну, я пошёл.", {0, 2}},          {"Я, ну, пошёл.", {3, 2}},
        {"Готово. Короче, идём.", {8, 6}}, {"Готово\nтипа, идём.", {7, 4}},
        {"Я пошёл, блин!", {9, 4}},        {"Это, э-э, сложно.", {5, 3}},
        {"Ну вот, начнём.", {0, 6}},       {"Так. СОБСТВЕННО ГОВОРЯ, да.", {5, 17}}};
    for (const auto& [text, range] : cases) {
        const QList<SpeechIssue> fillers = issuesOfKind(Kind::filler, text);
        ASSERT_EQ(fillers.size(), 1) << text.toStdString();
        EXPECT_EQ(
            fillers.first(),
            (SpeechIssue{Kind::filler, range, text.mid(range.location, range.length), "слово-паразит", true, {}}));
    }
    for (const QString text : {"Вот отчёт.", "значит ли это", "Он как бы пришёл.", "Я пошёл, короче", "Он,ну, пришёл.",
                               "Нужно разобраться."})
        EXPECT_TRUE(issuesOfKind(Kind::filler, text).isEmpty()) << text.toStdString();
}

TEST(SpeechFrequentWords, ThresholdIsOneFortiethOfAllWordsAndKeysFoldCaseAndYo)
{
    // "я" three times among 120 words: 3 × 40 = 120.
    const QStringList others = neutralWords(118);
    const QString firstHalf = "я " + others.mid(0, 58).join(u' ');
    const QString exact = firstHalf + " я " + others.mid(58, 59).join(u' ') + " я.";
    EXPECT_EQ(issuesOfKind(Kind::style, exact, "встречается"),
              QList<SpeechIssue>{styleIssue({0, 1}, "я", "встречается 3 раза — попробуйте перефразировать",
                                            {{firstHalf.size() + 1, 1}, {exact.size() - 2, 1}})});
    const QString oneMore = exact.chopped(1) + u' ' + others.last() + u'.';
    EXPECT_TRUE(issuesOfKind(Kind::style, oneMore, "встречается").isEmpty());

    const QList<SpeechIssue> folded = SpeechQuality::analyze("Ёлка стоит, елка горит, ЁЛКА сияет.");
    ASSERT_EQ(folded.size(), 1);
    EXPECT_EQ(folded.first().text, "елка");
    EXPECT_EQ(folded.first().extraRanges, (QList<Range>{{12, 4}, {24, 4}}));
}

TEST(SpeechSentences, ThirtyWordsSixCommasTwoWhich)
{
    const QString thirty = sentenceOfWords(30);
    EXPECT_EQ(issuesOfKind(Kind::style, thirty, "предложение"),
              QList<SpeechIssue>{styleIssue({0, thirty.size()}, thirty.left(34) + u'…',
                                            "предложение из 30 слов — тяжело читается, разбейте на два-три")});
    EXPECT_TRUE(issuesOfKind(Kind::style, sentenceOfWords(29), "предложение").isEmpty());
    // Counted sentence by sentence, not over the whole text.
    EXPECT_TRUE(issuesOfKind(Kind::style, sentenceOfWords(20) + u' ' + sentenceOfWords(20), "предложение").isEmpty());

    const QString six = "Первое. Мы купили хлеб, сыр, масло, молоко, чай, соль, сахар.";
    EXPECT_EQ(issuesOfKind(Kind::style, six, "в предложении"),
              QList<SpeechIssue>{styleIssue({8, six.size() - 8}, "Мы купили хлеб, сыр, масло, молоко…",
                                            "в предложении 6 запятых — конструкция перегружена")});
    EXPECT_TRUE(issuesOfKind(Kind::style, "Мы купили хлеб, сыр, масло, молоко, чай, соль.", "в предложении").isEmpty());

    // The whole sentence with its surrounding whitespace is the range; the quote
    // is trimmed.
    const QString which = "  Дом, который построил Джек, КОТОРОГО все знают.\n";
    EXPECT_EQ(issuesOfKind(Kind::style, which, "«который»"),
              QList<SpeechIssue>{styleIssue({0, which.size()}, "Дом, который построил Джек, КОТОРО…",
                                            "«который» 2 раза в одном предложении — упростите конструкцию")});
    EXPECT_TRUE(issuesOfKind(Kind::style, "Дом, который стоит. Кот, которого нет.", "«который»").isEmpty());
}

TEST(SpeechOpeners, RunsOfThreeOrMoreEqualFirstWords)
{
    // The hints of a run of three are pinned by SpeechTestModeTest.
    const QList<SpeechIssue> four =
        issuesOfKind(Kind::style, "Ещё раз. ЕЩЕ два. еще три. Ещё четыре. Всё.", "4 предложения подряд");
    ASSERT_EQ(four.size(), 1);
    EXPECT_EQ(four.first().extraRanges.size(), 3);

    // A sentence without words does not break a run.
    const QList<SpeechIssue> run = SpeechQuality::analyze("Мы пришли. 123! Мы сели. Мы ушли.");
    ASSERT_EQ(run.size(), 1);
    EXPECT_EQ(run.first().extraRanges, (QList<Range>{{16, 2}, {25, 2}}));
}

TEST(SpeechPhrasing, EveryRuleFindsItsPhrasingButNotInsideASentenceFlaggedAsAWhole)
{
    // One example per rule, in the rules' order; only the first rule knows a
    // replacement.
    const QString examples[] = {"Вообщем",
                                "более лучше",
                                "САМЫЙ ЛУЧШИЙ",
                                "оплатил за",
                                "согласно плана",
                                "имеет место быть",
                                "в данный момент времени",
                                "крайний раз",
                                "ихнего",
                                "ложить"};
    const auto& rules = SpeechRules::phrasingRules();
    ASSERT_EQ(rules.size(), std::size(examples));
    for (size_t index = 0; index < rules.size(); ++index) {
        const SpeechIssue expected{
            Kind::phrasing, {11, examples[index].size()}, examples[index], rules.at(index).hint, index == 0, {}};
        EXPECT_EQ(SpeechQuality::analyze("Он сказал: " + examples[index] + " тут."), QList<SpeechIssue>{expected});
    }

    const QString longSentence = "Это самый лучший " + neutralWords(28).join(u' ') + u'.';
    EXPECT_TRUE(issuesOfKind(Kind::phrasing, longSentence).isEmpty());
    const QList<SpeechIssue> outside = issuesOfKind(Kind::phrasing, longSentence + " Это самый лучший день.");
    ASSERT_EQ(outside.size(), 1);
    EXPECT_EQ(outside.first().range.location, longSentence.size() + 5);
}

TEST(SpeechWords, TimesWordAgreesWithTheNumber)
{
    const std::pair<int, const char*> cases[] = {
        {1, "1 раз"},   {2, "2 раза"},  {4, "4 раза"},   {5, "5 раз"},      {11, "11 раз"},   {12, "12 раз"},
        {14, "14 раз"}, {21, "21 раз"}, {22, "22 раза"}, {104, "104 раза"}, {112, "112 раз"}, {1034, "1034 раза"}};
    for (const auto& [count, expected] : cases)
        EXPECT_EQ(SpeechQuality::timesWord(count), QString::fromUtf8(expected));
}

TEST(SpeechScore, PhrasingWeighsTwice)
{
    const auto scoreOf = [](int phrasings, int others) {
        QList<SpeechIssue> issues;
        for (int index = 0; index < phrasings + others; ++index) {
            const Kind kind = index < phrasings ? Kind::phrasing : Kind(index % 2 ? Kind::style : Kind::repetition);
            issues.append({kind, {index, 1}, {}, {}, false, {}});
        }
        return SpeechQuality::score(issues);
    };
    const std::tuple<int, int, int> cases[] = {{0, 0, 5}, {0, 1, 4}, {1, 0, 4}, {1, 1, 3}, {2, 1, 3},
                                               {3, 0, 2}, {0, 8, 2}, {4, 1, 1}, {0, 40, 1}};
    for (const auto& [phrasings, others, expected] : cases)
        EXPECT_EQ(scoreOf(phrasings, others), expected) << phrasings << " + " << others;
}

TEST(SpeechClean, CutsWhatTheAnalysisFoundWithThePunctuationAroundIt)
{
    expectPairs([](const QString& text) { return SpeechCleaning::clean(text, SpeechQuality::analyze(text)); },
                {// A filler at the start takes ", " with it and the next word is
                 // capitalized.
                 {"Ну,я пошёл.", "Я пошёл."},
                 // Between commas: one comma before, the one after goes too.
                 {"Я, ну, пошёл.", "Я пошёл."},
                 // Before a sentence end.
                 {"Я пошёл, короче.", "Я пошёл."},
                 // After a sentence end or a line break, with the capital moving to the
                 // next word.
                 {"Я пришёл. Короче, начнём.", "Я пришёл. Начнём."},
                 {"Строка один.\nну, строка два.", "Строка один.\nСтрока два."},
                 // A repetition goes, but the comma after it belongs to the sentence.
                 {"было было", "Было"},
                 {"Я думаю думаю, что он придёт.", "Я думаю, что он придёт."},
                 // A filler that is a sentence of its own goes with its full stop.
                 {"Я пришёл. Вот. Начнём.", "Я пришёл. Начнём."},
                 {"Короче.", ""},
                 // Without a sentence end before it, the mark stays for the sentence it
                 // closes.
                 {"Всё готово\nну.", "Всё готово."},
                 // Removable phrasings are replaced, the others stay.
                 {"Да, вообщем, всё.", "Да, в общем, всё."},
                 // Ranges after an emoji.
                 {"😀 да да, конечно.", "😀 Да, конечно."}});
}

TEST(SpeechClean, SkipsFindingsThatDoNotFitAndWorksFromTheEndWhateverTheirOrder)
{
    const QString text = "Ну, да.";
    for (const SpeechIssue& skipped : {filler(0, 2, false), filler(5, 4), filler(-1, 2), filler(2, -3), filler(100, 1)})
        EXPECT_EQ(SpeechCleaning::clean(text, {skipped}), text);
    EXPECT_EQ(SpeechCleaning::clean(text, {filler(5, 4), filler(0, 2)}), "Да.");
    // A phrasing finding whose hint no rule knows is left alone.
    const QString phrased = "Вообщем, да.";
    EXPECT_EQ(SpeechCleaning::clean(phrased, {{Kind::phrasing, {0, 7}, "Вообщем", "другое", true, {}}}), phrased);

    // Edits go from the end whatever order the findings come in.
    const QString four = "Ну, я, короче, пошёл пошёл, блин.";
    QList<SpeechIssue> issues = SpeechQuality::analyze(four);
    ASSERT_EQ(issues.size(), 4);
    EXPECT_EQ(SpeechCleaning::clean(four, issues), "Я пошёл.");
    std::reverse(issues.begin(), issues.end());
    EXPECT_EQ(SpeechCleaning::clean(four, issues), "Я пошёл.");
}

TEST(SpeechClean, TidiesSpacesTrimsAndCapitalizesButAutoCleanTouchesOnlyTextsWithFindings)
{
    expectPairs([](const QString& text) { return SpeechCleaning::clean(text, {}); },
                {{"  это  просто\t\t текст , да !\n", "Это просто текст, да!"},
                 {"первая строка\n\nвторая", "Первая строка\n\nВторая"},
                 {" \n ", ""}});
    expectPairs(&SpeechCleaning::capitalizeSentences,
                {{"привет. как дела? хорошо! да… нет\nещё", "Привет. Как дела? Хорошо! Да… Нет\nЕщё"},
                 // Quotes, dashes and brackets wait for the letter; a digit takes
                 // the place of the capital.
                 {"«привет», — сказал он. (да) 2 яблока. 3-й", "«Привет», — сказал он. (Да) 2 яблока. 3-й"},
                 // A letter outside the basic plane is one character, not two.
                 {"𐐨 а. 𐐨 б", "𐐀 а. 𐐀 б"}});

    // Auto-cleaning counts the removable findings and leaves a text without them untidied.
    const auto [text, count] = SpeechCleaning::autoClean("Ну, было было. Это самый лучший день.");
    EXPECT_EQ(text, "Было. Это самый лучший день.");
    EXPECT_EQ(count, 2);
    const QString untouched = "  это самый лучший  день ";
    EXPECT_EQ(SpeechCleaning::autoClean(untouched).text, untouched);
}
