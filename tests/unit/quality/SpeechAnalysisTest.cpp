#include "SpeechTestSupport.h"

#include <QThread>

#include <memory>
#include <vector>

namespace
{

using Kind = SpeechIssue::Kind;
using Range = SpeechIssue::Range;

QList<SpeechIssue> styleWithHintStarting(const QString& text, const QString& hintStart)
{
    QList<SpeechIssue> selected;
    for (const SpeechIssue& issue : issuesOfKind(SpeechQuality::analyze(text), Kind::style)) {
        if (issue.hint.startsWith(hintStart))
            selected.append(issue);
    }
    return selected;
}

SpeechIssue styleIssue(Range range, const QString& text, const QString& hint, const QList<Range>& extra = {})
{
    return {Kind::style, range, text, hint, false, extra};
}

QString sentenceOfWords(int count)
{
    return neutralWords(count).join(u' ') + u'.';
}

} // namespace

TEST(SpeechAnalysis, WhereFindingsAreAndAreNot)
{
    // Ranges count UTF-16 code units and come in text order; an emoji is not the whitespace a repetition needs.
    const std::pair<QString, QList<Range>> cases[] = {
        {"Вообщем, ну, было было.", {{0, 7}, {9, 2}, {18, 4}}},
        {"Привет 😀. Ну, начнём 😀 начнём.", {{11, 2}}},
        {"😀😀 да да", {{8, 2}}},
        {QString(), {}},
        {"   ", {}},
        {"123, 456!", {}},
        {"😀", {}},
        // Not repetitions: a comma between, a shared start, different words.
        {"было, было", {}},
        {"на наш дом", {}},
        {"он она", {}},
        // Frequent words need more than three letters.
        {"Что он, что она, что они.", {}},
        {"Река, река.", {}},
        // A different opener breaks the run.
        {"Мы пришли. Мы сели. Он ушёл. Мы спали. Мы ели.", {}},
        // Near misses of the phrasing rules.
        {"более красивый", {}},
        {"согласно договору", {}},
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
        const QList<SpeechIssue> fillers = issuesOfKind(SpeechQuality::analyze(text), Kind::filler);
        ASSERT_EQ(fillers.size(), 1) << text.toStdString();
        EXPECT_EQ(
            fillers.first(),
            (SpeechIssue{Kind::filler, range, text.mid(range.location, range.length), "слово-паразит", true, {}}));
    }
    for (const QString text : {"Вот отчёт.", "значит ли это", "Он как бы пришёл.", "Я пошёл, короче", "Он,ну, пришёл.",
                               "Нужно разобраться."})
        EXPECT_TRUE(issuesOfKind(SpeechQuality::analyze(text), Kind::filler).isEmpty()) << text.toStdString();
}

TEST(SpeechFillers, AFillerHidesTheFrequentWordButNotTheOpenerRun)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze("Значит, так. Значит, идём. Значит, всё.");
    ASSERT_EQ(issues.size(), 4);
    EXPECT_EQ(issues.at(0).kind, Kind::filler);
    EXPECT_EQ(issues.at(1).hint, "3 предложения подряд начинаются с «значит» — разнообразьте");
    EXPECT_EQ(issues.at(1).range, (Range{0, 6}));
}

TEST(SpeechRepetitions, SecondOccurrenceAsWrittenWhateverItsCase)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze("Было БЫЛО, и он пришёл пришёл.");
    ASSERT_EQ(issues.size(), 2);
    EXPECT_EQ(issues.at(0), (SpeechIssue{Kind::repetition, {5, 4}, "БЫЛО", "повтор слова", true, {}}));
    EXPECT_EQ(issues.at(1).range, (Range{23, 6}));
}

TEST(SpeechFrequentWords, ThresholdIsOneFortiethOfAllWordsAndKeysFoldCaseAndYo)
{
    // "я" three times among 120 words: 3 × 40 = 120.
    const QStringList others = neutralWords(118);
    const QString firstHalf = "я " + others.mid(0, 58).join(u' ');
    const QString exact = firstHalf + " я " + others.mid(58, 59).join(u' ') + " я.";
    EXPECT_EQ(styleWithHintStarting(exact, "встречается"),
              QList<SpeechIssue>{styleIssue({0, 1}, "я", "встречается 3 раза — попробуйте перефразировать",
                                            {{firstHalf.size() + 1, 1}, {exact.size() - 2, 1}})});
    const QString oneMore = exact.chopped(1) + u' ' + others.last() + u'.';
    EXPECT_TRUE(styleWithHintStarting(oneMore, "встречается").isEmpty());

    const QList<SpeechIssue> folded = SpeechQuality::analyze("Ёлка стоит, елка горит, ЁЛКА сияет.");
    ASSERT_EQ(folded.size(), 1);
    EXPECT_EQ(folded.first().text, "елка");
    EXPECT_EQ(folded.first().extraRanges, (QList<Range>{{12, 4}, {24, 4}}));
}

TEST(SpeechSentences, ThirtyWordsSixCommasTwoWhich)
{
    const QString thirty = sentenceOfWords(30);
    EXPECT_EQ(styleWithHintStarting(thirty, "предложение"),
              QList<SpeechIssue>{styleIssue({0, thirty.size()}, thirty.left(34) + u'…',
                                            "предложение из 30 слов — тяжело читается, разбейте на два-три")});
    EXPECT_TRUE(styleWithHintStarting(sentenceOfWords(29), "предложение").isEmpty());
    // Counted sentence by sentence, not over the whole text.
    EXPECT_TRUE(styleWithHintStarting(sentenceOfWords(20) + u' ' + sentenceOfWords(20), "предложение").isEmpty());

    const QString six = "Первое. Мы купили хлеб, сыр, масло, молоко, чай, соль, сахар.";
    EXPECT_EQ(styleWithHintStarting(six, "в предложении"),
              QList<SpeechIssue>{styleIssue({8, six.size() - 8}, "Мы купили хлеб, сыр, масло, молоко…",
                                            "в предложении 6 запятых — конструкция перегружена")});
    EXPECT_TRUE(styleWithHintStarting("Мы купили хлеб, сыр, масло, молоко, чай, соль.", "в предложении").isEmpty());

    // The whole sentence with its surrounding whitespace is the range; the quote is trimmed.
    const QString which = "  Дом, который построил Джек, КОТОРОГО все знают.\n";
    EXPECT_EQ(styleWithHintStarting(which, "«который»"),
              QList<SpeechIssue>{styleIssue({0, which.size()}, "Дом, который построил Джек, КОТОРО…",
                                            "«который» 2 раза в одном предложении — упростите конструкцию")});
    EXPECT_TRUE(styleWithHintStarting("Дом, который стоит. Кот, которого нет.", "«который»").isEmpty());
    EXPECT_EQ(styleWithHintStarting("Которые, которых.", "«").first().text, "Которые, которых.");

    // The excerpt counts characters, not code units: an emoji as the 34th character and two more.
    const QString emoji = "который которая " + QString(17, u'б') + "😀в.";
    const QList<SpeechIssue> flagged = styleWithHintStarting(emoji, "«который»");
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().text, emoji.left(35) + u'…');
}

TEST(SpeechOpeners, RunsOfThreeOrMoreEqualFirstWords)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze("Я пришёл. Я сел. Я ушёл.");
    ASSERT_EQ(issues.size(), 2);
    // In a short text "я" is frequent too; both stand, in the order they were found.
    EXPECT_EQ(issues.at(0).hint, "встречается 3 раза — попробуйте перефразировать");
    EXPECT_EQ(issues.at(1),
              styleIssue({0, 1}, "я", "3 предложения подряд начинаются с «я» — разнообразьте", {{10, 1}, {17, 1}}));

    const QList<SpeechIssue> four =
        styleWithHintStarting("Ещё раз. ЕЩЕ два. еще три. Ещё четыре. Всё.", "4 предложения подряд");
    ASSERT_EQ(four.size(), 1);
    EXPECT_EQ(four.first().text, "еще");
    EXPECT_EQ(four.first().extraRanges.size(), 3);

    // A sentence without words does not break a run.
    const QList<SpeechIssue> run = SpeechQuality::analyze("Мы пришли. 123! Мы сели. Мы ушли.");
    ASSERT_EQ(run.size(), 1);
    EXPECT_EQ(run.first().extraRanges, (QList<Range>{{16, 2}, {25, 2}}));
}

TEST(SpeechPhrasing, EveryRuleFindsItsPhrasingButNotInsideASentenceFlaggedAsAWhole)
{
    // One example per rule, in the rules' order; only the first rule knows a replacement.
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
    const auto& rules = SpeechQuality::phrasingRules();
    ASSERT_EQ(rules.size(), std::size(examples));
    for (size_t index = 0; index < rules.size(); ++index) {
        const SpeechIssue expected{
            Kind::phrasing, {11, examples[index].size()}, examples[index], rules.at(index).hint, index == 0, {}};
        EXPECT_EQ(SpeechQuality::analyze("Он сказал: " + examples[index] + " тут."), QList<SpeechIssue>{expected});
    }

    const QString longSentence = "Это самый лучший " + neutralWords(28).join(u' ') + u'.';
    const QList<SpeechIssue> inside = SpeechQuality::analyze(longSentence);
    ASSERT_EQ(inside.size(), 1);
    EXPECT_EQ(inside.first().kind, Kind::style);
    const QList<SpeechIssue> outside =
        issuesOfKind(SpeechQuality::analyze(longSentence + " Это самый лучший день."), Kind::phrasing);
    ASSERT_EQ(outside.size(), 1);
    EXPECT_EQ(outside.first().range.location, longSentence.size() + 5);
}

TEST(SpeechAnalysis, GivesTheSameAnswerOnManyThreadsAtOnce)
{
    const QString text = "Ну, я думаю думаю, что вообщем это самый лучший план. Я пришёл. Я сел. Я ушёл.";
    const QList<SpeechIssue> expected = SpeechQuality::analyze(text);
    ASSERT_EQ(expected.size(), 6);
    std::vector<QList<SpeechIssue>> results(4);
    std::vector<std::unique_ptr<QThread>> threads;
    for (auto& result : results) {
        threads.emplace_back(QThread::create([&text, &result] {
            for (int round = 0; round < 50; ++round)
                result = SpeechQuality::analyze(text);
        }));
        threads.back()->start();
    }
    for (size_t index = 0; index < threads.size(); ++index) {
        ASSERT_TRUE(threads[index]->wait(60000));
        EXPECT_EQ(results[index], expected);
    }
}

TEST(SpeechSentenceRanges, ShapesOfSentences)
{
    const std::pair<QString, QList<Range>> cases[] = {
        {QString(), {}},
        {"Привет. Как дела?! Хорошо", {{0, 7}, {8, 10}, {19, 6}}},
        // Leading whitespace belongs to the first sentence; line feeds close a sentence and stay with it.
        {"  Привет.\n\nПока…", {{0, 11}, {11, 5}}},
        {"Да.   ", {{0, 3}}},
        {"   ", {{0, 3}}},
        // Between sentences an emoji is skipped like whitespace; inside one it stays.
        {"Привет. 😀 Ну.", {{0, 7}, {11, 3}}},
        {"Привет 😀. Ну, начнём.", {{0, 10}, {11, 11}}}};
    for (const auto& [text, ranges] : cases)
        EXPECT_EQ(SpeechQuality::sentenceRanges(text), ranges) << text.toStdString();
}

TEST(SpeechWords, TimesWordAgreesWithTheNumber)
{
    const std::pair<int, const char16_t*> cases[] = {{1, u"1 раз"},      {2, u"2 раза"},    {4, u"4 раза"},
                                                     {5, u"5 раз"},      {11, u"11 раз"},   {12, u"12 раз"},
                                                     {14, u"14 раз"},    {21, u"21 раз"},   {22, u"22 раза"},
                                                     {104, u"104 раза"}, {112, u"112 раз"}, {1034, u"1034 раза"}};
    for (const auto& [count, expected] : cases)
        EXPECT_EQ(SpeechQuality::timesWord(count), QString::fromUtf16(expected));
}

TEST(SpeechScore, PhrasingWeighsTwice)
{
    const auto scoreOf = [](int phrasings, int others) {
        QList<SpeechIssue> issues;
        for (int index = 0; index < phrasings + others; ++index)
            issues.append({index < phrasings ? Kind::phrasing : Kind(index % 2 ? Kind::style : Kind::repetition),
                           {index, 1},
                           {},
                           {},
                           false,
                           {}});
        return SpeechQuality::score(issues);
    };
    const std::tuple<int, int, int> cases[] = {{0, 0, 5}, {0, 1, 4}, {1, 0, 4}, {1, 1, 3}, {2, 1, 3},
                                               {3, 0, 2}, {0, 8, 2}, {4, 1, 1}, {0, 40, 1}};
    for (const auto& [phrasings, others, expected] : cases)
        EXPECT_EQ(scoreOf(phrasings, others), expected) << phrasings << " + " << others;
}
