#include "engines/Hallucinations.h"

#include <gtest/gtest.h>

namespace
{

bool dropped(const QString& text, double noSpeech = 0, double logprob = 0)
{
    return Hallucinations::shouldDrop(text, noSpeech, logprob);
}

const QString thanks = QStringLiteral("Спасибо за просмотр!");
const QString ordinary = QStringLiteral("Завтра встречаемся в десять утра.");

} // namespace

TEST(Hallucinations, EmptyAfterNormalizationIsDropped)
{
    EXPECT_TRUE(dropped(QStringLiteral("...!?")));
    EXPECT_TRUE(dropped(QString()));
    EXPECT_FALSE(dropped(QStringLiteral("Да.")));
}

TEST(Hallucinations, SubtitleCreditsAreDroppedWhateverTheFigures)
{
    for (const char16_t* credit :
         {u"Редактор субтитров А.Семкин.", u"Корректор А.Егорова", u"Редактор субтитров А.Синецкая Корректор А.Егорова",
          u"Субтитры создавал DimaTorzok", u"Субтитры подготовлены", u"Субтитры по заказу канала",
          u"Перевод и субтитры: Иван", u"Субтитры сделаны сообществом Amara.org", u"Subtitles by the Amara community",
          u"Subs by Vika", u"ZALTOVIRK"})
        EXPECT_TRUE(dropped(QString::fromUtf16(credit))) << QString::fromUtf16(credit).toStdString();
    // The watermark is found inside a longer text, the anchored credits are not.
    EXPECT_TRUE(dropped(QStringLiteral("Привет, это amara.org, пока")));
    EXPECT_FALSE(dropped(QStringLiteral("Наш редактор субтитров Иван")));
    EXPECT_FALSE(dropped(QStringLiteral("Корректор Иванова")));
    EXPECT_FALSE(dropped(QStringLiteral("Субтитры")));
    EXPECT_FALSE(dropped(QStringLiteral("Zaltovirk пришёл")));
}

TEST(Hallucinations, OutrosAreDroppedOnlyWhenTheFiguresAreSuspicious)
{
    EXPECT_FALSE(dropped(thanks));
    EXPECT_TRUE(dropped(thanks, 0.9, -1.2));
    EXPECT_TRUE(dropped(thanks, 0.6, -0.8));
    EXPECT_TRUE(dropped(thanks, 0.86, 0));
    EXPECT_FALSE(dropped(QStringLiteral("Спасибо за просмотр и за то, что остаётесь с нами"), 0.6, -0.8));
    for (const char16_t* outro : {u"Продолжение следует в следующей серии", u"Подписывайтесь", u"Ставьте оценку",
                                  u"До новых встреч в эфире нашего канала", u"Thank you for watching"})
        EXPECT_FALSE(dropped(QString::fromUtf16(outro), 0.6, -0.8)) << QString::fromUtf16(outro).toStdString();
    for (const char16_t* outro : {u"Продолжение следует...", u"Подписывайтесь на канал!", u"Ставьте лайк",
                                  u"До новых встреч!", u"Thanks for watching!"}) {
        EXPECT_FALSE(dropped(QString::fromUtf16(outro))) << QString::fromUtf16(outro).toStdString();
        EXPECT_TRUE(dropped(QString::fromUtf16(outro), 0.6, -0.8)) << QString::fromUtf16(outro).toStdString();
    }
}

TEST(Hallucinations, SilentFiguresDropAnyText)
{
    EXPECT_TRUE(dropped(ordinary, 0.95, -1.5));
    EXPECT_FALSE(dropped(ordinary, 0.95, -0.5));
    EXPECT_FALSE(dropped(ordinary, 0.6, -0.8));
}

TEST(Hallucinations, ThresholdsAreStrict)
{
    EXPECT_FALSE(dropped(thanks, 0.85, 0));
    EXPECT_FALSE(dropped(thanks, 0.5, -0.9));
    EXPECT_FALSE(dropped(thanks, 0.6, -0.7));
    EXPECT_FALSE(dropped(ordinary, 0.9, -1.5));
    EXPECT_FALSE(dropped(ordinary, 0.95, -1.0));
    EXPECT_TRUE(dropped(ordinary, 0.9000001, -1.0000001));
}
