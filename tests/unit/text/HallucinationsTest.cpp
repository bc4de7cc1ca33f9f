#include "text/Hallucinations.h"

#include <gtest/gtest.h>

TEST(Hallucinations, CreditsAlwaysOutrosOnSuspiciousFiguresAnyTextOnSilentFigures)
{
    for (const char16_t* credit : {u"Редактор субтитров А.Семкин.", u"Корректор А.Егорова", u"Субтитры подготовлены",
                                   u"Субтитры сделаны сообществом Amara.org", u"Subtitles by the Amara community",
                                   u"Subs by Vika", u"ZALTOVIRK", u"...!?", u""})
        EXPECT_TRUE(Hallucinations::shouldDrop(QString::fromUtf16(credit), 0, 0))
            << QString::fromUtf16(credit).toStdString();
    // Long outros that only start like one are kept even on suspicious figures.
    for (const char16_t* outro : {u"Спасибо за просмотр и за то, что остаётесь с нами",
                                  u"Продолжение следует в следующей серии", u"Thank you for watching"})
        EXPECT_FALSE(Hallucinations::shouldDrop(QString::fromUtf16(outro), 0.6, -0.8))
            << QString::fromUtf16(outro).toStdString();

    const char16_t* thanks = u"Спасибо за просмотр!";
    const char16_t* ordinary = u"Завтра встречаемся в десять утра.";
    const struct
    {
        const char16_t* text;
        double noSpeech;
        double logprob;
        bool dropped;
    } rows[] = {
        {u"Да.", 0, 0, false},
        // The watermark is found inside a longer text, the anchored credits are not.
        {u"Привет, это amara.org, пока", 0, 0, true},
        {u"Наш редактор субтитров Иван", 0, 0, false},
        {u"Корректор Иванова", 0, 0, false},
        {u"Субтитры", 0, 0, false},
        {u"Zaltovirk пришёл", 0, 0, false},
        {thanks, 0, 0, false},
        {thanks, 0.6, -0.8, true},
        {thanks, 0.86, 0, true},
        {u"Продолжение следует...", 0.6, -0.8, true},
        {u"Thanks for watching!", 0.6, -0.8, true},
        {ordinary, 0.95, -1.5, true},
        {ordinary, 0.95, -0.5, false},
        {ordinary, 0.6, -0.8, false},
        // Thresholds are strict.
        {thanks, 0.85, 0, false},
        {thanks, 0.5, -0.9, false},
        {thanks, 0.6, -0.7, false},
        {ordinary, 0.9, -1.5, false},
        {ordinary, 0.95, -1.0, false},
        {ordinary, 0.9000001, -1.0000001, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Hallucinations::shouldDrop(QString::fromUtf16(row.text), row.noSpeech, row.logprob), row.dropped)
            << QString::fromUtf16(row.text).toStdString() << ' ' << row.noSpeech << ' ' << row.logprob;
}
