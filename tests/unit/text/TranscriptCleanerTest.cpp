#include "text/TranscriptCleaner.h"

#include <gtest/gtest.h>

namespace
{

QString cleaned(const QString& text)
{
    return TranscriptCleaner::clean(text);
}

} // namespace

TEST(TranscriptCleaner, RemovesAnnotationsOfUpToSixtyCharacters)
{
    EXPECT_EQ(cleaned(QStringLiteral("[МУЗЫКА] Привет")), QStringLiteral("Привет"));
    EXPECT_EQ(cleaned(QStringLiteral("Раз [смех] два *вздыхает* три")), QStringLiteral("Раз два три"));
    EXPECT_EQ(cleaned(QStringLiteral("[]**Текст")), QStringLiteral("Текст"));
    const QString sixty(60, u'ж');
    EXPECT_EQ(cleaned(u'[' + sixty + QStringLiteral("] a")), QStringLiteral("a"));
    EXPECT_EQ(cleaned(u'[' + sixty + QStringLiteral("ж] a")), u'[' + sixty + QStringLiteral("ж] a"));
    EXPECT_EQ(cleaned(u'*' + sixty + QStringLiteral("ж* a")), u'*' + sixty + QStringLiteral("ж* a"));
    EXPECT_EQ(cleaned(QStringLiteral("a * b")), QStringLiteral("a * b"));
}

TEST(TranscriptCleaner, EmptiesALoneParenthesisedRemarkOnly)
{
    EXPECT_EQ(cleaned(QStringLiteral("  (аплодисменты)  ")), QString());
    EXPECT_EQ(cleaned(QStringLiteral("[шум] (тишина)")), QString());
    EXPECT_EQ(cleaned(QStringLiteral("*вздох* (пауза) [музыка]")), QString());
    EXPECT_EQ(cleaned(QStringLiteral("(смеётся) Привет")), QStringLiteral("(смеётся) Привет"));
    EXPECT_EQ(cleaned(QStringLiteral("Итог (в целом) хороший")), QStringLiteral("Итог (в целом) хороший"));
    EXPECT_EQ(cleaned(u'(' + QString(81, u'ж') + u')'), u'(' + QString(81, u'ж') + u')');
}

TEST(TranscriptCleaner, JoinsLineBreaksBetweenCharactersAndCollapsesSpace)
{
    EXPECT_EQ(cleaned(QStringLiteral("а\nб\nв\n\nг")), QStringLiteral("абвг"));
    EXPECT_EQ(cleaned(QStringLiteral("Привет\n мир\t\t и  все\r\n")), QStringLiteral("Привет мир и все"));
    EXPECT_EQ(cleaned(QStringLiteral("\n \t")), QString());
}
