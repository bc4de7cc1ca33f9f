#include "support/TolvanProcess.h"

#include <gtest/gtest.h>

namespace
{

QStringList speechTest(const QString& text)
{
    const ProcessOutput result = runTolvan({QStringLiteral("--speech-test"), text});
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    return result.outLines();
}

QStringList lines(std::initializer_list<const char16_t*> texts)
{
    QStringList list;
    for (const char16_t* text : texts)
        list.append(QString::fromUtf16(text));
    return list;
}

} // namespace

TEST(SpeechTestMode, CleanPhraseScoresFive)
{
    EXPECT_EQ(
        speechTest(QStringLiteral("Сегодня мы закончили отчёт и отправили его.")),
        lines({u"ОЦЕНКА: ★★★★★ 5 из 5 — идеально", u"ОЧИЩЕНО (−0): Сегодня мы закончили отчёт и отправили его."}));
}

TEST(SpeechTestMode, OneFillerScoresFour)
{
    EXPECT_EQ(
        speechTest(QStringLiteral("Ну, я пошёл.")),
        lines({u"[ПАРАЗИТ] «Ну» — слово-паразит", u"ОЦЕНКА: ★★★★☆ 4 из 5 — мелкие огрехи", u"ОЧИЩЕНО (−1): Я пошёл."}));
}

TEST(SpeechTestMode, FillerAndDisputedPhrasingScoreThree)
{
    EXPECT_EQ(speechTest(QStringLiteral("Ну, вообщем, всё готово.")),
              lines({u"[ПАРАЗИТ] «Ну» — слово-паразит", u"[ФОРМУЛ.] «вообщем» — ошибка: правильно «в общем»",
                     u"ОЦЕНКА: ★★★☆☆ 3 из 5 — ошибок многовато", u"ОЧИЩЕНО (−2): В общем, всё готово."}));
}

TEST(SpeechTestMode, RepetitionAndThreeOpenersScoreTwo)
{
    EXPECT_EQ(
        speechTest(QStringLiteral("Я пришёл пришёл. Я сел. Я ушёл, короче. Это самый лучший день.")),
        lines({u"[СТИЛЬ  ] «я» — встречается 3 раза — попробуйте перефразировать",
               u"[СТИЛЬ  ] «я» — 3 предложения подряд начинаются с «я» — разнообразьте",
               u"[ПОВТОР ] «пришёл» — повтор слова", u"[ПАРАЗИТ] «короче» — слово-паразит",
               u"[ФОРМУЛ.] «самый лучший» — плеоназм: достаточно «лучший»", u"ОЦЕНКА: ★★☆☆☆ 2 из 5 — много ошибок",
               u"ОЧИЩЕНО (−2): Я пришёл. Я сел. Я ушёл. Это самый лучший день."}));
}

TEST(SpeechTestMode, ManyProblemsScoreOne)
{
    EXPECT_EQ(speechTest(QStringLiteral("Ну, вообщем, крайний раз я ложить не буду, ихний дом.")),
              lines({u"[ПАРАЗИТ] «Ну» — слово-паразит", u"[ФОРМУЛ.] «вообщем» — ошибка: правильно «в общем»",
                     u"[ФОРМУЛ.] «крайний раз» — литературная норма: «последний раз»",
                     u"[ФОРМУЛ.] «ложить» — просторечие: «класть»", u"[ФОРМУЛ.] «ихний» — просторечие: «их»",
                     u"ОЦЕНКА: ★☆☆☆☆ 1 из 5 — совсем всё плохо",
                     u"ОЧИЩЕНО (−2): В общем, крайний раз я ложить не буду, ихний дом."}));
}

TEST(SpeechTestMode, EmptyTextIsPerfect)
{
    EXPECT_EQ(speechTest(QString()), lines({u"ОЦЕНКА: ★★★★★ 5 из 5 — идеально", u"ОЧИЩЕНО (−0): "}));
}
