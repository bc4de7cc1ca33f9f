#include "text/TranscriptCleaner.h"

#include <gtest/gtest.h>

TEST(TranscriptCleaner, RemovesShortAnnotationsEmptiesALoneRemarkAndJoinsWordsBrokenAcrossLines)
{
    const QString sixty(60, u'ж');
    const QString longRemark = u'(' + QString(81, u'ж') + u')';
    const std::pair<QString, QString> rows[] = {
        // Annotations of up to sixty characters go.
        {QStringLiteral("Раз [смех] два *вздыхает* три"), QStringLiteral("Раз два три")},
        {u'[' + sixty + QStringLiteral("] a"), QStringLiteral("a")},
        {u'[' + sixty + QStringLiteral("ж] a"), u'[' + sixty + QStringLiteral("ж] a")},
        {u'*' + sixty + QStringLiteral("ж* a"), u'*' + sixty + QStringLiteral("ж* a")},
        {QStringLiteral("a * b"), QStringLiteral("a * b")},
        // A parenthesised remark is emptied only when it is all that is left.
        {QStringLiteral("[шум] (тишина)"), QString()},
        {QStringLiteral("(смеётся) Привет"), QStringLiteral("(смеётся) Привет")},
        {longRemark, longRemark},
        // Line feeds inside a word are joined, others between two characters stay, other space collapses.
        {QStringLiteral("а\nб\nв\n\nг"), QStringLiteral("абвг")},
        {QStringLiteral("Конец.\r\nНачало\n\n\n- Да?\n- Нет\n 5\n6"),
         QStringLiteral("Конец.\nНачало\n\n- Да?\n- Нет 5\n6")},
        {QStringLiteral("Привет\n мир\t\t и  все\r\n"), QStringLiteral("Привет мир и все")},
        {QStringLiteral("\n \t"), QString()},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(TranscriptCleaner::clean(text), expected) << text.toStdString();
}
