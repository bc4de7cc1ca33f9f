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

QString sentenceOfWords(int count)
{
    return neutralWords(count).join(u' ') + u'.';
}

} // namespace

TEST(SpeechFillers, CountOnlyWhereTheyStandApart)
{
    const std::pair<QString, Range> cases[] = {
        {QStringLiteral("Ну, я пошёл."), {0, 2}},          {QStringLiteral("Я, ну, пошёл."), {3, 2}},
        {QStringLiteral("Готово. Короче, идём."), {8, 6}}, {QStringLiteral("Готово\nтипа, идём."), {7, 4}},
        {QStringLiteral("Я пошёл, блин!"), {9, 4}},        {QStringLiteral("Это, э-э, сложно."), {5, 3}},
        {QStringLiteral("Ну вот, начнём."), {0, 6}},       {QStringLiteral("Так. СОБСТВЕННО ГОВОРЯ, да."), {5, 17}},
    };
    for (const auto& [text, range] : cases) {
        const QList<SpeechIssue> fillers = issuesOfKind(SpeechQuality::analyze(text), Kind::filler);
        ASSERT_EQ(fillers.size(), 1) << text.toStdString();
        EXPECT_EQ(fillers.first(), (SpeechIssue{Kind::filler,
                                                range,
                                                text.mid(range.location, range.length),
                                                QStringLiteral("слово-паразит"),
                                                true,
                                                {}}));
    }
    for (const QString& text :
         {QStringLiteral("Вот отчёт."), QStringLiteral("значит ли это"), QStringLiteral("Он как бы пришёл."),
          QStringLiteral("Я пошёл, короче"), QStringLiteral("Он,ну, пришёл."), QStringLiteral("Нужно разобраться.")})
        EXPECT_TRUE(issuesOfKind(SpeechQuality::analyze(text), Kind::filler).isEmpty()) << text.toStdString();
}

TEST(SpeechFillers, AFillerHidesTheFrequentWordButNotTheOpenerRun)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(QStringLiteral("Значит, так. Значит, идём. Значит, всё."));
    ASSERT_EQ(issues.size(), 4);
    EXPECT_EQ(issues.at(0).kind, Kind::filler);
    EXPECT_EQ(issues.at(1).hint, QStringLiteral("3 предложения подряд начинаются с «значит» — разнообразьте"));
    EXPECT_EQ(issues.at(1).range, (Range{0, 6}));
}

TEST(SpeechRepetitions, SecondOccurrenceAsWrittenWhateverItsCase)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(QStringLiteral("Было БЫЛО, и он пришёл пришёл."));
    ASSERT_EQ(issues.size(), 2);
    EXPECT_EQ(
        issues.at(0),
        (SpeechIssue{Kind::repetition, {5, 4}, QStringLiteral("БЫЛО"), QStringLiteral("повтор слова"), true, {}}));
    EXPECT_EQ(issues.at(1).range, (Range{23, 6}));
    for (const QString& text : {QStringLiteral("было, было"), QStringLiteral("на наш дом"), QStringLiteral("он она")})
        EXPECT_TRUE(SpeechQuality::analyze(text).isEmpty()) << text.toStdString();
}

TEST(SpeechFrequentWords, ThresholdIsOneFortiethOfAllWords)
{
    // "я" three times among 120 words: 3 × 40 = 120.
    const QStringList others = neutralWords(118);
    const QString firstHalf = QStringLiteral("я ") + others.mid(0, 58).join(u' ');
    const QString exact = firstHalf + QStringLiteral(" я ") + others.mid(58, 59).join(u' ') + QStringLiteral(" я.");
    const QList<SpeechIssue> flagged = styleWithHintStarting(exact, QStringLiteral("встречается"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first(), (SpeechIssue{Kind::style,
                                            {0, 1},
                                            QStringLiteral("я"),
                                            QStringLiteral("встречается 3 раза — попробуйте перефразировать"),
                                            false,
                                            {{firstHalf.size() + 1, 1}, {exact.size() - 2, 1}}}));
    const QString oneMore = exact.chopped(1) + u' ' + others.last() + u'.';
    EXPECT_TRUE(styleWithHintStarting(oneMore, QStringLiteral("встречается")).isEmpty());
}

TEST(SpeechFrequentWords, ShortWordsNeverCountAndKeysFoldCaseAndYo)
{
    EXPECT_TRUE(SpeechQuality::analyze(QStringLiteral("Что он, что она, что они.")).isEmpty());
    EXPECT_TRUE(SpeechQuality::analyze(QStringLiteral("Река, река.")).isEmpty());
    const QList<SpeechIssue> folded = SpeechQuality::analyze(QStringLiteral("Ёлка стоит, елка горит, ЁЛКА сияет."));
    ASSERT_EQ(folded.size(), 1);
    EXPECT_EQ(folded.first().text, QStringLiteral("елка"));
    EXPECT_EQ(folded.first().extraRanges, (QList<Range>{{12, 4}, {24, 4}}));
}

TEST(SpeechSentences, ThirtyWordsSixCommasTwoWhich)
{
    const QString thirty = sentenceOfWords(30);
    EXPECT_EQ(styleWithHintStarting(thirty, QStringLiteral("предложение")),
              (QList<SpeechIssue>{{Kind::style,
                                   {0, thirty.size()},
                                   thirty.left(34) + u'…',
                                   QStringLiteral("предложение из 30 слов — тяжело читается, разбейте на два-три"),
                                   false,
                                   {}}}));
    EXPECT_TRUE(styleWithHintStarting(sentenceOfWords(29), QStringLiteral("предложение")).isEmpty());
    // Counted sentence by sentence, not over the whole text.
    EXPECT_TRUE(styleWithHintStarting(sentenceOfWords(20) + u' ' + sentenceOfWords(20), QStringLiteral("предложение"))
                    .isEmpty());

    const QString six = QStringLiteral("Первое. Мы купили хлеб, сыр, масло, молоко, чай, соль, сахар.");
    EXPECT_EQ(styleWithHintStarting(six, QStringLiteral("в предложении")),
              (QList<SpeechIssue>{{Kind::style,
                                   {8, six.size() - 8},
                                   QStringLiteral("Мы купили хлеб, сыр, масло, молоко…"),
                                   QStringLiteral("в предложении 6 запятых — конструкция перегружена"),
                                   false,
                                   {}}}));
    EXPECT_TRUE(styleWithHintStarting(QStringLiteral("Мы купили хлеб, сыр, масло, молоко, чай, соль."),
                                      QStringLiteral("в предложении"))
                    .isEmpty());

    // The whole sentence with its surrounding whitespace is the range; the quote is trimmed.
    const QString which = QStringLiteral("  Дом, который построил Джек, КОТОРОГО все знают.\n");
    EXPECT_EQ(styleWithHintStarting(which, QStringLiteral("«который»")),
              (QList<SpeechIssue>{{Kind::style,
                                   {0, which.size()},
                                   QStringLiteral("Дом, который построил Джек, КОТОРО…"),
                                   QStringLiteral("«который» 2 раза в одном предложении — упростите конструкцию"),
                                   false,
                                   {}}}));
    EXPECT_TRUE(
        styleWithHintStarting(QStringLiteral("Дом, который стоит. Кот, которого нет."), QStringLiteral("«который»"))
            .isEmpty());
    EXPECT_EQ(styleWithHintStarting(QStringLiteral("Которые, которых."), QStringLiteral("«")).first().text,
              QStringLiteral("Которые, которых."));
}

TEST(SpeechSentences, ExcerptCountsCharactersNotCodeUnits)
{
    // 16 + 17 characters, then an emoji as the 34th character and two more.
    const QString text = QStringLiteral("который которая ") + QString(17, u'б') + QStringLiteral("😀в.");
    const QList<SpeechIssue> flagged = styleWithHintStarting(text, QStringLiteral("«который»"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().text, text.left(35) + u'…');
}

TEST(SpeechOpeners, RunsOfThreeOrMoreEqualFirstWords)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(QStringLiteral("Я пришёл. Я сел. Я ушёл."));
    ASSERT_EQ(issues.size(), 2);
    // In a short text "я" is frequent too; both stand, in the order they were found.
    EXPECT_EQ(issues.at(0).hint, QStringLiteral("встречается 3 раза — попробуйте перефразировать"));
    EXPECT_EQ(issues.at(1), (SpeechIssue{Kind::style,
                                         {0, 1},
                                         QStringLiteral("я"),
                                         QStringLiteral("3 предложения подряд начинаются с «я» — разнообразьте"),
                                         false,
                                         {{10, 1}, {17, 1}}}));

    const QList<SpeechIssue> four = styleWithHintStarting(QStringLiteral("Ещё раз. ЕЩЕ два. еще три. Ещё четыре. Всё."),
                                                          QStringLiteral("4 предложения подряд"));
    ASSERT_EQ(four.size(), 1);
    EXPECT_EQ(four.first().text, QStringLiteral("еще"));
    EXPECT_EQ(four.first().extraRanges.size(), 3);

    EXPECT_TRUE(SpeechQuality::analyze(QStringLiteral("Мы пришли. Мы сели. Он ушёл. Мы спали. Мы ели.")).isEmpty());
    // A sentence without words does not break a run.
    const QList<SpeechIssue> run = SpeechQuality::analyze(QStringLiteral("Мы пришли. 123! Мы сели. Мы ушли."));
    ASSERT_EQ(run.size(), 1);
    EXPECT_EQ(run.first().extraRanges, (QList<Range>{{16, 2}, {25, 2}}));
}

TEST(SpeechPhrasing, EveryRuleFindsItsPhrasing)
{
    const QStringList examples = {
        QStringLiteral("Вообщем"),
        QStringLiteral("более лучше"),
        QStringLiteral("САМЫЙ ЛУЧШИЙ"),
        QStringLiteral("оплатил за"),
        QStringLiteral("согласно плана"),
        QStringLiteral("имеет место быть"),
        QStringLiteral("в данный момент времени"),
        QStringLiteral("крайний раз"),
        QStringLiteral("ихнего"),
        QStringLiteral("ложить"),
    };
    const auto& rules = SpeechQuality::phrasingRules();
    ASSERT_EQ(rules.size(), 10u);
    for (qsizetype index = 0; index < examples.size(); ++index) {
        const QString text = QStringLiteral("Он сказал: ") + examples.at(index) + QStringLiteral(" тут.");
        // Only the first rule knows a replacement.
        EXPECT_EQ(SpeechQuality::analyze(text), (QList<SpeechIssue>{{Kind::phrasing,
                                                                     {11, examples.at(index).size()},
                                                                     examples.at(index),
                                                                     rules.at(index).hint,
                                                                     index == 0,
                                                                     {}}}));
    }
    for (const QString& text :
         {QStringLiteral("более красивый"), QStringLiteral("согласно договору"), QStringLiteral("положить сюда")})
        EXPECT_TRUE(SpeechQuality::analyze(text).isEmpty()) << text.toStdString();
}

TEST(SpeechPhrasing, NotReportedInsideASentenceFlaggedAsAWhole)
{
    const QString longSentence = QStringLiteral("Это самый лучший ") + neutralWords(28).join(u' ') + u'.';
    const QList<SpeechIssue> inside = SpeechQuality::analyze(longSentence);
    ASSERT_EQ(inside.size(), 1);
    EXPECT_EQ(inside.first().kind, Kind::style);

    const QList<SpeechIssue> outside =
        issuesOfKind(SpeechQuality::analyze(longSentence + QStringLiteral(" Это самый лучший день.")), Kind::phrasing);
    ASSERT_EQ(outside.size(), 1);
    EXPECT_EQ(outside.first().range.location, longSentence.size() + 5);
}

TEST(SpeechAnalysis, FindingsAreOrderedByLocation)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(QStringLiteral("Вообщем, ну, было было."));
    ASSERT_EQ(issues.size(), 3);
    EXPECT_EQ(issues.at(0).range, (Range{0, 7}));
    EXPECT_EQ(issues.at(1).range, (Range{9, 2}));
    EXPECT_EQ(issues.at(2).range, (Range{18, 4}));
}

TEST(SpeechAnalysis, RangesCountUtf16CodeUnits)
{
    // An emoji is two code units, and it is not the whitespace a repetition needs.
    const QList<SpeechIssue> issues = SpeechQuality::analyze(QStringLiteral("Привет 😀. Ну, начнём 😀 начнём."));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues.first().range, (Range{11, 2}));
    const QList<SpeechIssue> repeated = SpeechQuality::analyze(QStringLiteral("😀😀 да да"));
    ASSERT_EQ(repeated.size(), 1);
    EXPECT_EQ(repeated.first().range, (Range{8, 2}));
}

TEST(SpeechAnalysis, EmptyAndLetterlessTextsHaveNoFindings)
{
    for (const QString& text : {QString(), QStringLiteral("   "), QStringLiteral("123, 456!"), QStringLiteral("😀")})
        EXPECT_TRUE(SpeechQuality::analyze(text).isEmpty()) << text.toStdString();
}

TEST(SpeechAnalysis, GivesTheSameAnswerOnManyThreadsAtOnce)
{
    const QString text =
        QStringLiteral("Ну, я думаю думаю, что вообщем это самый лучший план. Я пришёл. Я сел. Я ушёл.");
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
    using SpeechQuality::sentenceRanges;
    EXPECT_TRUE(sentenceRanges(QString()).isEmpty());
    EXPECT_EQ(sentenceRanges(QStringLiteral("Привет. Как дела?! Хорошо")), (QList<Range>{{0, 7}, {8, 10}, {19, 6}}));
    // Leading whitespace belongs to the first sentence; line feeds close a sentence and stay with it.
    EXPECT_EQ(sentenceRanges(QStringLiteral("  Привет.\n\nПока…")), (QList<Range>{{0, 11}, {11, 5}}));
    EXPECT_EQ(sentenceRanges(QStringLiteral("Да.   ")), (QList<Range>{{0, 3}}));
    EXPECT_EQ(sentenceRanges(QStringLiteral("   ")), (QList<Range>{{0, 3}}));
    // Between sentences an emoji is skipped like whitespace; inside one it stays.
    EXPECT_EQ(sentenceRanges(QStringLiteral("Привет. 😀 Ну.")), (QList<Range>{{0, 7}, {11, 3}}));
    EXPECT_EQ(sentenceRanges(QStringLiteral("Привет 😀. Ну, начнём.")), (QList<Range>{{0, 10}, {11, 11}}));
}

TEST(SpeechWords, TimesWordAgreesWithTheNumber)
{
    const std::pair<int, const char16_t*> cases[] = {
        {1, u"1 раз"},   {2, u"2 раза"},  {4, u"4 раза"},   {5, u"5 раз"},      {11, u"11 раз"},   {12, u"12 раз"},
        {14, u"14 раз"}, {21, u"21 раз"}, {22, u"22 раза"}, {104, u"104 раза"}, {112, u"112 раз"}, {1034, u"1034 раза"},
    };
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
