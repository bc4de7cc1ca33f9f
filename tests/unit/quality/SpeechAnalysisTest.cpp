#include "SpeechTestSupport.h"

#include <QThread>

#include <memory>
#include <vector>

namespace
{

using Kind = SpeechIssue::Kind;
using Range = SpeechIssue::Range;

const QString fillerHint = QStringLiteral("слово-паразит");

QList<SpeechIssue> fillersIn(const QString& text)
{
    return issuesOfKind(SpeechQuality::analyze(text), Kind::filler);
}

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
    struct Case
    {
        QString text;
        Range range;
    };
    const Case cases[] = {
        {QStringLiteral("Ну, я пошёл."), {0, 2}},          {QStringLiteral("Я, ну, пошёл."), {3, 2}},
        {QStringLiteral("Готово. Короче, идём."), {8, 6}}, {QStringLiteral("Готово\nтипа, идём."), {7, 4}},
        {QStringLiteral("Я пошёл, короче."), {9, 6}},      {QStringLiteral("Я пошёл, блин!"), {9, 4}},
        {QStringLiteral("Это, э-э, сложно."), {5, 3}},
    };
    for (const Case& example : cases) {
        const QList<SpeechIssue> fillers = fillersIn(example.text);
        ASSERT_EQ(fillers.size(), 1) << example.text.toStdString();
        EXPECT_EQ(fillers.first().range, example.range) << example.text.toStdString();
        EXPECT_EQ(fillers.first().text, example.text.mid(example.range.location, example.range.length));
        EXPECT_EQ(fillers.first().hint, fillerHint);
        EXPECT_TRUE(fillers.first().removable);
        EXPECT_TRUE(fillers.first().extraRanges.isEmpty());
    }
}

TEST(SpeechFillers, NotWhenAWordFollowsOrNothingSetsThemOff)
{
    for (const QString& text :
         {QStringLiteral("Вот отчёт."), QStringLiteral("значит ли это"), QStringLiteral("Он как бы пришёл."),
          QStringLiteral("Я пошёл, короче"), QStringLiteral("Он,ну, пришёл."), QStringLiteral("Нужно разобраться."),
          QStringLiteral("Типаж, конечно, интересный.")})
        EXPECT_TRUE(fillersIn(text).isEmpty()) << text.toStdString();
}

TEST(SpeechFillers, LongestPhraseWinsAndCaseIsKeptAsWritten)
{
    const QList<SpeechIssue> fillers = fillersIn(QStringLiteral("Ну вот, начнём."));
    ASSERT_EQ(fillers.size(), 1);
    EXPECT_EQ(fillers.first().text, QStringLiteral("Ну вот"));
    EXPECT_EQ(fillers.first().range, (Range{0, 6}));

    const QList<SpeechIssue> phrase = fillersIn(QStringLiteral("Так. По большому счёту, всё. СОБСТВЕННО ГОВОРЯ, да."));
    ASSERT_EQ(phrase.size(), 2);
    EXPECT_EQ(phrase.at(0).text, QStringLiteral("По большому счёту"));
    EXPECT_EQ(phrase.at(1).text, QStringLiteral("СОБСТВЕННО ГОВОРЯ"));
}

TEST(SpeechFillers, AFrequentWordThatIsAFillerIsReportedOnceButItsOpenerRunStands)
{
    const QString text = QStringLiteral("Значит, так. Значит, идём. Значит, всё.");
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    EXPECT_EQ(issuesOfKind(issues, Kind::filler).size(), 3);
    const QList<SpeechIssue> style = issuesOfKind(issues, Kind::style);
    ASSERT_EQ(style.size(), 1);
    EXPECT_EQ(style.first().hint, QStringLiteral("3 предложения подряд начинаются с «значит» — разнообразьте"));
    EXPECT_EQ(style.first().range, (Range{0, 6}));
    // The opener finding comes after the filler it shares its location with.
    EXPECT_EQ(issues.at(0).kind, Kind::filler);
    EXPECT_EQ(issues.at(1).kind, Kind::style);
}

TEST(SpeechRepetitions, SecondOccurrenceAsWrittenWhateverItsCase)
{
    const QList<SpeechIssue> issues =
        issuesOfKind(SpeechQuality::analyze(QStringLiteral("Было БЫЛО, и он пришёл пришёл.")), Kind::repetition);
    ASSERT_EQ(issues.size(), 2);
    EXPECT_EQ(issues.at(0).range, (Range{5, 4}));
    EXPECT_EQ(issues.at(0).text, QStringLiteral("БЫЛО"));
    EXPECT_EQ(issues.at(0).hint, QStringLiteral("повтор слова"));
    EXPECT_TRUE(issues.at(0).removable);
    EXPECT_EQ(issues.at(1).text, QStringLiteral("пришёл"));
    EXPECT_EQ(issues.at(1).range, (Range{23, 6}));

    for (const QString& text : {QStringLiteral("было, было"), QStringLiteral("на наш дом"), QStringLiteral("он она")})
        EXPECT_TRUE(issuesOfKind(SpeechQuality::analyze(text), Kind::repetition).isEmpty()) << text.toStdString();
}

TEST(SpeechFrequentWords, ThresholdIsOneFortiethOfAllWords)
{
    // "я" three times among 120 words: 3 × 40 = 120.
    const QStringList others = neutralWords(118);
    const QString exact = QStringLiteral("я ") + others.mid(0, 58).join(u' ') + QStringLiteral(" я ") +
                          others.mid(58, 59).join(u' ') + QStringLiteral(" я.");
    const QList<SpeechIssue> flagged = styleWithHintStarting(exact, QStringLiteral("встречается"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().text, QStringLiteral("я"));
    EXPECT_EQ(flagged.first().range, (Range{0, 1}));
    EXPECT_EQ(flagged.first().hint, QStringLiteral("встречается 3 раза — попробуйте перефразировать"));
    EXPECT_FALSE(flagged.first().removable);
    ASSERT_EQ(flagged.first().extraRanges.size(), 2);
    EXPECT_EQ(exact.mid(flagged.first().extraRanges.at(1).location, 2), QStringLiteral("я."));

    const QString oneMore = exact.chopped(1) + QStringLiteral(" ") + others.last() + u'.';
    EXPECT_TRUE(styleWithHintStarting(oneMore, QStringLiteral("встречается")).isEmpty());
}

TEST(SpeechFrequentWords, ShortWordsNeverCountAndKeysFoldCaseAndYo)
{
    EXPECT_TRUE(
        styleWithHintStarting(QStringLiteral("Что он, что она, что они."), QStringLiteral("встречается")).isEmpty());

    const QList<SpeechIssue> folded =
        styleWithHintStarting(QStringLiteral("Ёлка стоит, елка горит, ЁЛКА сияет."), QStringLiteral("встречается"));
    ASSERT_EQ(folded.size(), 1);
    EXPECT_EQ(folded.first().text, QStringLiteral("елка"));
    EXPECT_EQ(folded.first().extraRanges, (QList<Range>{{12, 4}, {24, 4}}));

    // Two occurrences are not enough, however short the text.
    EXPECT_TRUE(styleWithHintStarting(QStringLiteral("Река, река."), QStringLiteral("встречается")).isEmpty());
}

TEST(SpeechSentences, LongSentenceFromThirtyWords)
{
    const QString thirty = sentenceOfWords(30);
    const QList<SpeechIssue> flagged = styleWithHintStarting(thirty, QStringLiteral("предложение из"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().hint, QStringLiteral("предложение из 30 слов — тяжело читается, разбейте на два-три"));
    EXPECT_EQ(flagged.first().range, (Range{0, thirty.size()}));
    EXPECT_EQ(flagged.first().text, thirty.left(34) + u'…');
    EXPECT_FALSE(flagged.first().removable);

    EXPECT_TRUE(styleWithHintStarting(sentenceOfWords(29), QStringLiteral("предложение из")).isEmpty());
    // Sentence by sentence, not across the whole text.
    const QString twoHalves = sentenceOfWords(20) + u' ' + sentenceOfWords(20);
    EXPECT_TRUE(styleWithHintStarting(twoHalves, QStringLiteral("предложение из")).isEmpty());
}

TEST(SpeechSentences, SixCommasOverloadASentence)
{
    const QString six = QStringLiteral("Первое. Мы купили хлеб, сыр, масло, молоко, чай, соль, сахар.");
    const QList<SpeechIssue> flagged = styleWithHintStarting(six, QStringLiteral("в предложении"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().hint, QStringLiteral("в предложении 6 запятых — конструкция перегружена"));
    EXPECT_EQ(flagged.first().range, (Range{8, six.size() - 8}));
    EXPECT_EQ(flagged.first().text, QStringLiteral("Мы купили хлеб, сыр, масло, молоко…"));

    EXPECT_TRUE(styleWithHintStarting(QStringLiteral("Мы купили хлеб, сыр, масло, молоко, чай, соль."),
                                      QStringLiteral("в предложении"))
                    .isEmpty());
}

TEST(SpeechSentences, RepeatedWhichInOneSentence)
{
    const QString text = QStringLiteral("  Дом, который построил Джек, КОТОРОГО все знают.\n");
    const QList<SpeechIssue> flagged = styleWithHintStarting(text, QStringLiteral("«который»"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().hint, QStringLiteral("«который» 2 раза в одном предложении — упростите конструкцию"));
    EXPECT_EQ(flagged.first().range, (Range{0, text.size()}));
    // Quoted without the surrounding whitespace, cut after 34 characters.
    EXPECT_EQ(flagged.first().text, QStringLiteral("Дом, который построил Джек, КОТОРО…"));

    EXPECT_TRUE(
        styleWithHintStarting(QStringLiteral("Дом, который стоит. Кот, которого нет."), QStringLiteral("«который»"))
            .isEmpty());
    const QString shortOne = QStringLiteral("Которые, которых.");
    const QList<SpeechIssue> whole = styleWithHintStarting(shortOne, QStringLiteral("«который»"));
    ASSERT_EQ(whole.size(), 1);
    EXPECT_EQ(whole.first().text, shortOne);
}

TEST(SpeechSentences, ExcerptCountsCharactersNotCodeUnits)
{
    // 16 + 17 characters, then an emoji as the 34th character and two more.
    const QString text = QStringLiteral("который которая ") + QString(17, u'б') + QStringLiteral("😀в.");
    const QList<SpeechIssue> flagged = styleWithHintStarting(text, QStringLiteral("«который»"));
    ASSERT_EQ(flagged.size(), 1);
    EXPECT_EQ(flagged.first().text, QStringLiteral("который которая ") + QString(17, u'б') + QStringLiteral("😀…"));
}

TEST(SpeechOpeners, RunsOfThreeOrMoreEqualFirstWords)
{
    const QString text = QStringLiteral("Я пришёл. Я сел. Я ушёл.");
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    ASSERT_EQ(issues.size(), 2);
    // In a short text "я" is frequent too; both stand, in the order they were found.
    EXPECT_EQ(issues.at(0).hint, QStringLiteral("встречается 3 раза — попробуйте перефразировать"));
    const SpeechIssue& run = issues.at(1);
    EXPECT_EQ(run.kind, Kind::style);
    EXPECT_EQ(run.text, QStringLiteral("я"));
    EXPECT_EQ(run.range, (Range{0, 1}));
    EXPECT_EQ(run.extraRanges, (QList<Range>{{10, 1}, {17, 1}}));
    EXPECT_EQ(run.hint, QStringLiteral("3 предложения подряд начинаются с «я» — разнообразьте"));

    const QList<SpeechIssue> four = styleWithHintStarting(QStringLiteral("Ещё раз. ЕЩЕ два. еще три. Ещё четыре. Всё."),
                                                          QStringLiteral("4 предложения подряд"));
    ASSERT_EQ(four.size(), 1);
    EXPECT_EQ(four.first().text, QStringLiteral("еще"));
    EXPECT_EQ(four.first().extraRanges.size(), 3);
}

TEST(SpeechOpeners, ShorterRunsAreNotReportedAndWordlessSentencesDoNotBreakARun)
{
    EXPECT_TRUE(styleWithHintStarting(QStringLiteral("Мы пришли. Мы сели. Он ушёл. Мы спали. Мы ели."),
                                      QStringLiteral("3 предложения"))
                    .isEmpty());
    const QList<SpeechIssue> run =
        styleWithHintStarting(QStringLiteral("Мы пришли. 123! Мы сели. Мы ушли."), QStringLiteral("3 предложения"));
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
        const QList<SpeechIssue> found = issuesOfKind(SpeechQuality::analyze(text), Kind::phrasing);
        ASSERT_EQ(found.size(), 1) << text.toStdString();
        EXPECT_EQ(found.first().text, examples.at(index));
        EXPECT_EQ(found.first().range, (Range{11, examples.at(index).size()}));
        EXPECT_EQ(found.first().hint, rules.at(index).hint);
        // Only the first rule knows a replacement.
        EXPECT_EQ(found.first().removable, index == 0) << text.toStdString();
    }
    for (const QString& text : {QStringLiteral("в общем, да"), QStringLiteral("более красивый"),
                                QStringLiteral("согласно договору"), QStringLiteral("положить сюда")})
        EXPECT_TRUE(issuesOfKind(SpeechQuality::analyze(text), Kind::phrasing).isEmpty()) << text.toStdString();
}

TEST(SpeechPhrasing, NotReportedInsideASentenceFlaggedAsAWhole)
{
    const QString shortSentence = QStringLiteral("Это самый лучший день.");
    EXPECT_EQ(issuesOfKind(SpeechQuality::analyze(shortSentence), Kind::phrasing).size(), 1);

    const QString longSentence = QStringLiteral("Это самый лучший ") + neutralWords(28).join(u' ') + u'.';
    const QList<SpeechIssue> issues = SpeechQuality::analyze(longSentence);
    EXPECT_TRUE(issuesOfKind(issues, Kind::phrasing).isEmpty());
    EXPECT_EQ(issuesOfKind(issues, Kind::style).size(), 1);

    const QString nextSentence = longSentence + QStringLiteral(" Это самый лучший день.");
    const QList<SpeechIssue> outside = issuesOfKind(SpeechQuality::analyze(nextSentence), Kind::phrasing);
    ASSERT_EQ(outside.size(), 1);
    EXPECT_EQ(outside.first().range.location, longSentence.size() + 5);
}

TEST(SpeechAnalysis, FindingsAreOrderedByLocation)
{
    const QString text = QStringLiteral("Вообщем, ну, было было.");
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    ASSERT_EQ(issues.size(), 3);
    EXPECT_EQ(issues.at(0).kind, Kind::phrasing);
    EXPECT_EQ(issues.at(0).range, (Range{0, 7}));
    EXPECT_EQ(issues.at(1).kind, Kind::filler);
    EXPECT_EQ(issues.at(1).range, (Range{9, 2}));
    EXPECT_EQ(issues.at(2).kind, Kind::repetition);
    EXPECT_EQ(issues.at(2).range, (Range{18, 4}));
}

TEST(SpeechAnalysis, RangesCountUtf16CodeUnits)
{
    const QString text = QStringLiteral("Привет 😀. Ну, начнём 😀 начнём.");
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    const QList<SpeechIssue> fillers = issuesOfKind(issues, Kind::filler);
    ASSERT_EQ(fillers.size(), 1);
    EXPECT_EQ(fillers.first().range, (Range{11, 2}));
    EXPECT_EQ(text.mid(11, 2), QStringLiteral("Ну"));
    // An emoji is not whitespace between the words, so this is no repetition.
    EXPECT_TRUE(issuesOfKind(issues, Kind::repetition).isEmpty());

    const QList<SpeechIssue> repeated = SpeechQuality::analyze(QStringLiteral("😀😀 да да"));
    ASSERT_EQ(repeated.size(), 1);
    EXPECT_EQ(repeated.first().range, (Range{8, 2}));
}

TEST(SpeechAnalysis, EmptyAndLetterlessTextsHaveNoFindings)
{
    for (const QString& text : {QString(), QStringLiteral("   "), QStringLiteral("123, 456!"), QStringLiteral("😀")}) {
        const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
        EXPECT_TRUE(issues.isEmpty()) << text.toStdString();
        EXPECT_EQ(SpeechQuality::score(issues), 5);
    }
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
    for (auto& thread : threads)
        ASSERT_TRUE(thread->wait(60000));
    for (const auto& result : results)
        EXPECT_EQ(result, expected);
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
    EXPECT_EQ(sentenceRanges(QStringLiteral("...")), (QList<Range>{{0, 3}}));
    // Between sentences an emoji is skipped like whitespace; inside one it stays.
    EXPECT_EQ(sentenceRanges(QStringLiteral("Привет. 😀 Ну.")), (QList<Range>{{0, 7}, {11, 3}}));
    EXPECT_EQ(sentenceRanges(QStringLiteral("Привет 😀. Ну, начнём.")), (QList<Range>{{0, 10}, {11, 11}}));
}

TEST(SpeechWords, TimesWordAgreesWithTheNumber)
{
    const std::pair<int, const char16_t*> cases[] = {
        {1, u"1 раз"},      {2, u"2 раза"},    {3, u"3 раза"},      {4, u"4 раза"},       {5, u"5 раз"},
        {11, u"11 раз"},    {12, u"12 раз"},   {14, u"14 раз"},     {21, u"21 раз"},      {22, u"22 раза"},
        {104, u"104 раза"}, {112, u"112 раз"}, {1013, u"1013 раз"}, {1034, u"1034 раза"},
    };
    for (const auto& [count, expected] : cases)
        EXPECT_EQ(SpeechQuality::timesWord(count), QString::fromUtf16(expected));
}

TEST(SpeechScore, PhrasingWeighsTwice)
{
    const auto issues = [](int phrasings, int others) {
        QList<SpeechIssue> list;
        for (int index = 0; index < phrasings; ++index)
            list.append({Kind::phrasing, {index, 1}, {}, {}, false, {}});
        for (int index = 0; index < others; ++index)
            list.append({index % 2 ? Kind::style : Kind::repetition, {index, 1}, {}, {}, false, {}});
        return list;
    };
    EXPECT_EQ(SpeechQuality::score(issues(0, 0)), 5);
    EXPECT_EQ(SpeechQuality::score(issues(0, 1)), 4);
    EXPECT_EQ(SpeechQuality::score(issues(1, 0)), 4);
    EXPECT_EQ(SpeechQuality::score(issues(1, 1)), 3);
    EXPECT_EQ(SpeechQuality::score(issues(2, 1)), 3);
    EXPECT_EQ(SpeechQuality::score(issues(3, 0)), 2);
    EXPECT_EQ(SpeechQuality::score(issues(0, 8)), 2);
    EXPECT_EQ(SpeechQuality::score(issues(4, 1)), 1);
    EXPECT_EQ(SpeechQuality::score(issues(0, 40)), 1);

    // One filler and one disputed phrasing weigh 3.
    EXPECT_EQ(SpeechQuality::score(SpeechQuality::analyze(QStringLiteral("Ну, вообщем, всё готово."))), 3);
}

TEST(SpeechScore, ScoreWords)
{
    EXPECT_EQ(SpeechQuality::scoreWord(5), QStringLiteral("идеально"));
    EXPECT_EQ(SpeechQuality::scoreWord(4), QStringLiteral("мелкие огрехи"));
    EXPECT_EQ(SpeechQuality::scoreWord(3), QStringLiteral("ошибок многовато"));
    EXPECT_EQ(SpeechQuality::scoreWord(2), QStringLiteral("много ошибок"));
    EXPECT_EQ(SpeechQuality::scoreWord(1), QStringLiteral("совсем всё плохо"));
    EXPECT_EQ(SpeechQuality::scoreWord(0), QStringLiteral("совсем всё плохо"));
}
