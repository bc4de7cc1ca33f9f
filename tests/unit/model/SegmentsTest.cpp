#include "model/Segments.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace
{

QJsonObject answerWith(const QJsonArray& segments)
{
    return QJsonObject{{QStringLiteral("segments"), segments}};
}

QJsonObject segment(const QString& text, double start, double end)
{
    return QJsonObject{{QStringLiteral("text"), text}, {QStringLiteral("start"), start}, {QStringLiteral("end"), end}};
}

QJsonObject fixtureAnswer(const QString& name)
{
    QFile file(TestEnvironment::fixture(QStringLiteral("whisper-server/") + name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

TEST(ParseSegments, SecondsAreTruncatedToMilliseconds)
{
    const auto segments = Segments::parseSegments(answerWith({segment(QStringLiteral(" да"), 1.2345, 2.0)}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].startMs, 1234);
    EXPECT_EQ(segments[0].endMs, 2000);
    EXPECT_EQ(segments[0].text, QStringLiteral("да"));
}

TEST(ParseSegments, FallsBackToOffsetsThenHundredths)
{
    QJsonObject withOffsets{
        {QStringLiteral("text"), QStringLiteral(" раз")},
        {QStringLiteral("offsets"), QJsonObject{{QStringLiteral("from"), 1500}, {QStringLiteral("to"), 2300}}}};
    QJsonObject withHundredths{
        {QStringLiteral("text"), QStringLiteral(" два")}, {QStringLiteral("t0"), 150}, {QStringLiteral("t1"), 230.9}};
    const auto segments = Segments::parseSegments(answerWith({withOffsets, withHundredths}));
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].startMs, 1500);
    EXPECT_EQ(segments[0].endMs, 2300);
    EXPECT_EQ(segments[1].startMs, 1500);
    EXPECT_EQ(segments[1].endMs, 2309);
}

TEST(ParseSegments, StartInSecondsWinsOverOtherForms)
{
    QJsonObject element = segment(QStringLiteral(" три"), 0.5, 0.75);
    element.insert(QStringLiteral("offsets"),
                   QJsonObject{{QStringLiteral("from"), 9000}, {QStringLiteral("to"), 9900}});
    element.insert(QStringLiteral("t0"), 700);
    const auto segments = Segments::parseSegments(answerWith({element}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].startMs, 500);
    EXPECT_EQ(segments[0].endMs, 750);
}

TEST(ParseSegments, ContinuationMergesIntoPreviousSegment)
{
    QJsonObject first = segment(QStringLiteral(" погода и мы"), 0.0, 1.76);
    first.insert(QStringLiteral("no_speech_prob"), 0.2);
    first.insert(QStringLiteral("avg_logprob"), -0.5);
    QJsonObject second = segment(QStringLiteral("пойдём  "), 1.76, 2.4);
    second.insert(QStringLiteral("no_speech_prob"), 0.1);
    second.insert(QStringLiteral("avg_logprob"), -0.9);
    const auto segments = Segments::parseSegments(answerWith({first, second}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].text, QStringLiteral("погода и мыпойдём"));
    EXPECT_EQ(segments[0].startMs, 0);
    EXPECT_EQ(segments[0].endMs, 2400);
    EXPECT_DOUBLE_EQ(segments[0].noSpeechProb, 0.1);
    EXPECT_DOUBLE_EQ(segments[0].avgLogprob, -0.5);
}

TEST(ParseSegments, AContinuationTimedEarlierDoesNotEndThePieceBeforeItStarts)
{
    // An answer whose times go back: the merged piece still ends where the later of the two ended.
    const auto segments = Segments::parseSegments(answerWith(
        {segment(QStringLiteral(" Вторая часть текста."), 2.2, 3.5), segment(QStringLiteral("вет"), 0.4, 0.9)}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].text, QStringLiteral("Вторая часть текста.вет"));
    EXPECT_EQ(segments[0].startMs, 2200);
    EXPECT_EQ(segments[0].endMs, 3500);
}

TEST(ParseSegments, FirstSegmentWithoutLeadingSpaceStandsAlone)
{
    const auto segments = Segments::parseSegments(
        answerWith({segment(QStringLiteral("очеоче"), 0.4, 0.64), segment(QStringLiteral(" кр"), 0.64, 0.7)}));
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].text, QStringLiteral("очеоче"));
    EXPECT_EQ(segments[1].text, QStringLiteral("кр"));
}

TEST(ParseSegments, UnusableSegmentsAreDroppedAndContinuationSkipsThem)
{
    QJsonObject noTime{{QStringLiteral("text"), QStringLiteral(" без времени")}};
    const auto segments = Segments::parseSegments(answerWith({
        segment(QStringLiteral(" начало"), 0.0, 1.0),
        segment(QStringLiteral("   "), 1.0, 1.5),
        segment(QStringLiteral(" назад"), 2.0, 1.9),
        noTime,
        segment(QStringLiteral("конец"), 3.0, 3.5),
        segment(QStringLiteral(" миг"), 4.0, 4.0),
    }));
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].text, QStringLiteral("началоконец"));
    EXPECT_EQ(segments[0].endMs, 3500);
    EXPECT_EQ(segments[1].startMs, 4000);
    EXPECT_EQ(segments[1].endMs, 4000);
}

TEST(ParseSegments, NonFiniteOrHugeTimesCountAsAbsent)
{
    QJsonObject huge = segment(QStringLiteral(" огромное"), 1e300, 2e300);
    huge.insert(QStringLiteral("t0"), 10);
    huge.insert(QStringLiteral("t1"), 20);
    const auto segments =
        Segments::parseSegments(answerWith({huge, segment(QStringLiteral(" дальше"), 9.3e15, 9.3e15)}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].startMs, 100);
    EXPECT_EQ(segments[0].endMs, 200);
}

TEST(ParseSegments, MissingProbabilitiesAreZero)
{
    QJsonObject element = segment(QStringLiteral(" да"), 0, 1);
    element.insert(QStringLiteral("no_speech_prob"), QStringLiteral("0.5"));
    const auto segments = Segments::parseSegments(answerWith({element}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].noSpeechProb, 0);
    EXPECT_EQ(segments[0].avgLogprob, 0);
}

TEST(ParseSegments, AnswersWithoutUsableSegmentListGiveNothing)
{
    EXPECT_TRUE(Segments::parseSegments(QJsonObject{}).empty());
    EXPECT_TRUE(Segments::parseSegments(QJsonObject{{QStringLiteral("text"), QStringLiteral("Привет")}}).empty());
    EXPECT_TRUE(Segments::parseSegments(QJsonObject{{QStringLiteral("segments"), QStringLiteral("нет")}}).empty());
    EXPECT_TRUE(Segments::parseSegments(answerWith({segment(QStringLiteral(" а"), 0, 1), 5})).empty());
}

TEST(ParseSegments, RealServerAnswerMergesTheWrappedWord)
{
    const auto segments = Segments::parseSegments(fixtureAnswer(QStringLiteral("scripted_verbose_speech.json")));
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].text, QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода и мы"));
    EXPECT_EQ(segments[0].startMs, 0);
    EXPECT_EQ(segments[0].endMs, 1760);
    EXPECT_EQ(segments[1].text, QStringLiteral("пойдём гулять в парк"));
    EXPECT_EQ(segments[2].text, QStringLiteral("Спасибо!"));
    EXPECT_EQ(segments[2].endMs, 3600);
}

TEST(ParseSegments, RealLowConfidenceAnswers)
{
    const auto gibberish = Segments::parseSegments(fixtureAnswer(QStringLiteral("random_verbose_speech.json")));
    ASSERT_EQ(gibberish.size(), 1u);
    EXPECT_EQ(gibberish[0].text, QStringLiteral("очеочеочеочеочеочеоче кр"));
    EXPECT_NEAR(gibberish[0].avgLogprob, -1.647, 0.001);
    // The server answered a segment that ends before it starts.
    EXPECT_TRUE(Segments::parseSegments(fixtureAnswer(QStringLiteral("random_verbose_silence.json"))).empty());
}

TEST(SegmentList, ElementsAreReadWithPreparationAndDefaults)
{
    const auto prepare = [](const QString& text) {
        return text.trimmed().replace(QStringLiteral("щас"), QStringLiteral("сейчас"));
    };
    const auto full = Segments::fromListElement(QJsonObject{{QStringLiteral("text"), QStringLiteral(" щас ")},
                                                            {QStringLiteral("start"), 10.7},
                                                            {QStringLiteral("end"), 990}},
                                                prepare);
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->text, QStringLiteral("сейчас"));
    EXPECT_EQ(full->startMs, 10);
    EXPECT_EQ(full->endMs, 990);

    const auto noStart =
        Segments::fromListElement(QJsonObject{{QStringLiteral("text"), QStringLiteral("да")}}, prepare);
    ASSERT_TRUE(noStart.has_value());
    EXPECT_EQ(noStart->startMs, 0);
    EXPECT_EQ(noStart->endMs, 0);

    EXPECT_FALSE(Segments::fromListElement(QJsonObject{{QStringLiteral("text"), QStringLiteral("   ")}}, prepare));
    EXPECT_FALSE(Segments::fromListElement(QJsonObject{{QStringLiteral("start"), 1}}, prepare));
}

TEST(SegmentList, WrittenListReadsBack)
{
    const std::vector<SpeechSegment> segments{{QStringLiteral("Первый «абзац»"), 0, 1250, 0.3, -0.2},
                                              {QStringLiteral("второй"), 1250, 99999999999, 0, 0}};
    const QJsonDocument document = QJsonDocument::fromJson(Segments::toListJson(segments));
    ASSERT_TRUE(document.isArray());
    const QJsonArray array = document.array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[1].toObject().value(QStringLiteral("end")).toInteger(), 99999999999);
    EXPECT_FALSE(array[0].toObject().contains(QStringLiteral("no_speech_prob")));
    const auto identity = [](const QString& text) { return text; };
    const auto first = Segments::fromListElement(array[0].toObject(), identity);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->text, segments[0].text);
    EXPECT_EQ(first->endMs, 1250);
    EXPECT_TRUE(Segments::toListJson(segments).contains("\n    {"));
}
