#include "model/Segments.h"

#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace
{

using List = std::vector<SpeechSegment>;

List parsed(const QByteArray& answer)
{
    return Segments::parseSegments(QJsonDocument::fromJson(answer).object());
}

List parsedFixture(const QString& name)
{
    return parsed(TestFiles::read(TestEnvironment::fixture(QStringLiteral("whisper-server/") + name)));
}

} // namespace

TEST(ParseSegments, TimesContinuationsAndUnusablePieces)
{
    const struct
    {
        QByteArray answer;
        List expected;
    } rows[] = {
        // Seconds are truncated to milliseconds.
        {R"({"segments":[{"text":" да","start":1.2345,"end":2.0}]})", {{"да", 1234, 2000, 0, 0}}},
        // Without seconds: whisper's offsets, then its hundredths.
        {R"({"segments":[{"text":" раз","offsets":{"from":1500,"to":2300}},{"text":" два","t0":150,"t1":230.9}]})",
         {{"раз", 1500, 2300, 0, 0}, {"два", 1500, 2309, 0, 0}}},
        {R"({"segments":[{"text":" три","start":0.5,"end":0.75,"offsets":{"from":9000,"to":9900},"t0":700}]})",
         {{"три", 500, 750, 0, 0}}},
        // A piece without a leading space continues the word before it, keeping the better probabilities.
        {R"({"segments":[{"text":" погода и мы","start":0,"end":1.76,"no_speech_prob":0.2,"avg_logprob":-0.5},
                         {"text":"пойдём  ","start":1.76,"end":2.4,"no_speech_prob":0.1,"avg_logprob":-0.9}]})",
         {{"погода и мыпойдём", 0, 2400, 0.1, -0.5}}},
        // A continuation timed earlier does not end the piece before it starts.
        {R"({"segments":[{"text":" Вторая часть текста.","start":2.2,"end":3.5},{"text":"вет","start":0.4,"end":0.9}]})",
         {{"Вторая часть текста.вет", 2200, 3500, 0, 0}}},
        {R"({"segments":[{"text":"очеоче","start":0.4,"end":0.64},{"text":" кр","start":0.64,"end":0.7}]})",
         {{"очеоче", 400, 640, 0, 0}, {"кр", 640, 700, 0, 0}}},
        // Blank, backwards and untimed pieces are dropped, and a continuation skips them.
        {R"({"segments":[{"text":" начало","start":0,"end":1},{"text":"   ","start":1,"end":1.5},
                         {"text":" назад","start":2,"end":1.9},{"text":" без времени"},
                         {"text":"конец","start":3,"end":3.5},{"text":" миг","start":4,"end":4}]})",
         {{"началоконец", 0, 3500, 0, 0}, {"миг", 4000, 4000, 0, 0}}},
        // Times that are not finite or do not fit count as absent; probabilities that are not numbers as 0.
        {R"({"segments":[{"text":" огромное","start":1e300,"end":2e300,"t0":10,"t1":20},
                         {"text":" дальше","start":9.3e15,"end":9.3e15}]})",
         {{"огромное", 100, 200, 0, 0}}},
        {R"({"segments":[{"text":" да","start":0,"end":1,"no_speech_prob":"0.5"}]})", {{"да", 0, 1000, 0, 0}}},
        // Without a usable segment list, nothing.
        {"{}", {}},
        {R"({"text":"Привет"})", {}},
        {R"({"segments":"нет"})", {}},
        {R"({"segments":[{"text":" а","start":0,"end":1},5]})", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parsed(row.answer), row.expected) << row.answer.toStdString();
}

TEST(ParseSegments, RealServerAnswers)
{
    // The server wraps at 60 characters; the wrapped word is merged back.
    List speech = parsedFixture(QStringLiteral("scripted_verbose_speech.json"));
    for (SpeechSegment& segment : speech) {
        EXPECT_LT(segment.avgLogprob, 0) << "read from the answer";
        segment.noSpeechProb = segment.avgLogprob = 0;
    }
    EXPECT_EQ(speech, (List{{"Привет, это проверка диктовки. Сегодня хорошая погода и мы", 0, 1760, 0, 0},
                            {"пойдём гулять в парк", 1760, 2400, 0, 0},
                            {"Спасибо!", 2500, 3600, 0, 0}}));
    const List gibberish = parsedFixture(QStringLiteral("random_verbose_speech.json"));
    ASSERT_EQ(gibberish.size(), 1u);
    EXPECT_EQ(gibberish[0].text, QStringLiteral("очеочеочеочеочеочеоче кр"));
    EXPECT_NEAR(gibberish[0].avgLogprob, -1.647, 0.001);
    // Its only segment ends before it starts.
    EXPECT_TRUE(parsedFixture(QStringLiteral("random_verbose_silence.json")).empty());
}

TEST(SegmentList, ElementsAreReadWithPreparationAndWrittenListsReadBack)
{
    const auto prepare = [](const QString& text) {
        return text.trimmed().replace(QStringLiteral("щас"), QStringLiteral("сейчас"));
    };
    const auto element = [&](const QByteArray& json) {
        return Segments::fromListElement(QJsonDocument::fromJson(json).object(), prepare);
    };
    EXPECT_EQ(element(R"({"text":" щас ","start":10.7,"end":990})"), (SpeechSegment{"сейчас", 10, 990, 0, 0}));
    EXPECT_EQ(element(R"({"text":"да"})"), (SpeechSegment{"да", 0, 0, 0, 0}));
    EXPECT_FALSE(element(R"({"text":"   "})"));
    EXPECT_FALSE(element(R"({"start":1})"));

    const List segments{{"Первый «абзац»", 0, 1250, 0.3, -0.2}, {"второй", 1250, 99999999999, 0, 0}};
    const QByteArray written = Segments::toListJson(segments);
    EXPECT_TRUE(written.contains("\n    {"));
    const QJsonArray array = QJsonDocument::fromJson(written).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0].toObject().keys(), (QStringList{"end", "start", "text"}));
    EXPECT_EQ(Segments::fromListElement(array[0].toObject(), prepare),
              (SpeechSegment{"Первый «абзац»", 0, 1250, 0, 0}));
    EXPECT_EQ(Segments::fromListElement(array[1].toObject(), prepare), segments[1]);
}
