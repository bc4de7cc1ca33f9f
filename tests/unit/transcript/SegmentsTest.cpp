#include "transcript/Segments.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace
{

using List = std::vector<SpeechSegment>;

List parsed(const QByteArray& answer)
{
    return Segments::parseSegments(QJsonDocument::fromJson(answer).object());
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
