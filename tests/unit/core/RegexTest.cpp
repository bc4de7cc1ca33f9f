#include "core/Regex.h"

#include <QThread>

#include <gtest/gtest.h>

#include <vector>

TEST(Regex, PositionsCountUtf16CodeUnits)
{
    const QString text = QStringLiteral("😀 привет мир");
    const Regex word(QStringLiteral("\\p{L}+"));
    const auto matches = word.matchAll(text);
    ASSERT_EQ(matches.size(), 2u);
    // The emoji is two code units, then a space.
    EXPECT_EQ(matches[0].start(), 3);
    EXPECT_EQ(matches[0].length(), 6);
    EXPECT_EQ(matches[0].captured(), QStringLiteral("привет"));
    EXPECT_EQ(matches[1].start(), 10);
    EXPECT_EQ(text.mid(matches[1].start(), matches[1].length()), QStringLiteral("мир"));
}

TEST(Regex, CaseInsensitiveCyrillicAndLookAround)
{
    const Regex insensitive(QStringLiteral("(?<!\\p{L})щас(?!\\p{L})"), Regex::CaseInsensitive);
    EXPECT_TRUE(insensitive.contains(QStringLiteral("ну ЩАС приду")));
    EXPECT_FALSE(insensitive.contains(QStringLiteral("щастье")));
    EXPECT_FALSE(Regex(QStringLiteral("щас")).contains(QStringLiteral("ЩАС")));
    EXPECT_TRUE(Regex(QStringLiteral("(\\p{L}+) \\1")).contains(QStringLiteral("ну ну")));
}

TEST(Regex, CaptureGroupsAndSearchStart)
{
    const Regex pair(QStringLiteral("(\\d+)(?:-(\\d+))?"));
    const auto first = pair.match(QStringLiteral("в 12 и 3-4"), 4);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->captured(1), QStringLiteral("3"));
    EXPECT_EQ(first->captured(2), QStringLiteral("4"));
    EXPECT_EQ(first->groupCount(), 2);
    const auto second = pair.match(QStringLiteral("12"));
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(second->captured(2).isNull());
    EXPECT_EQ(second->start(2), -1);
    EXPECT_FALSE(pair.match(QStringLiteral("12"), 5).has_value());
    EXPECT_TRUE(pair.matchesEntirely(QStringLiteral("3-4")));
    EXPECT_FALSE(pair.matchesEntirely(QStringLiteral("3-4 ")));
}

TEST(Regex, ReplaceAllWithGroupReferencesAndFunctions)
{
    const Regex spaced(QStringLiteral("(\\p{L}+)\\s+([,.])"));
    EXPECT_EQ(spaced.replaceAll(QStringLiteral("да , нет ."), QStringLiteral("$1$2")), QStringLiteral("да, нет."));
    EXPECT_EQ(spaced.replaceAll(QStringLiteral("ничего"), QStringLiteral("$1")), QStringLiteral("ничего"));
    // A reference to a group that does not exist leaves the text alone.
    EXPECT_EQ(spaced.replaceAll(QStringLiteral("да ,"), QStringLiteral("$7")), QStringLiteral("да ,"));

    const Regex word(QStringLiteral("\\p{L}+"));
    const QString upper = word.replaceAll(QStringLiteral("😀 мир, дом"),
                                          [](const Regex::Match& match) { return match.captured().toUpper(); });
    EXPECT_EQ(upper, QStringLiteral("😀 МИР, ДОМ"));
}

TEST(Regex, EscapedTextMatchesLiterally)
{
    const QString literal = QStringLiteral("C++ (v1.0) $5 [a-z] ^\\d* | {2}");
    const Regex pattern(Regex::escape(literal));
    ASSERT_TRUE(pattern.isValid()) << pattern.errorMessage().toStdString();
    EXPECT_TRUE(pattern.matchesEntirely(literal));
    EXPECT_FALSE(pattern.contains(QStringLiteral("C++ (v1x0) $5 [a-z] ^\\d* | {2}")));
    EXPECT_EQ(
        Regex(QStringLiteral("x")).replaceAll(QStringLiteral("axb"), Regex::escapeReplacement(QStringLiteral("$1\\"))),
        QStringLiteral("a$1\\b"));
}

TEST(Regex, BrokenPatternIsInvalidAndHarmless)
{
    const Regex broken(QStringLiteral("(незакрытая"));
    EXPECT_FALSE(broken.isValid());
    EXPECT_FALSE(broken.errorMessage().isEmpty());
    EXPECT_FALSE(broken.contains(QStringLiteral("незакрытая")));
    EXPECT_TRUE(broken.matchAll(QStringLiteral("(незакрытая")).empty());
    EXPECT_EQ(broken.replaceAll(QStringLiteral("текст"), QStringLiteral("x")), QStringLiteral("текст"));
    EXPECT_FALSE(Regex().isValid());
    EXPECT_FALSE(Regex().contains(QString()));
}

TEST(Regex, OneCompiledPatternServesManyThreads)
{
    const Regex word(QStringLiteral("\\b\\p{L}+\\b"), Regex::CaseInsensitive);
    std::vector<int> counts(4, 0);
    std::vector<QThread*> threads;
    for (size_t index = 0; index < counts.size(); ++index) {
        threads.push_back(QThread::create([&word, &counts, index] {
            for (int round = 0; round < 500; ++round)
                counts[index] += static_cast<int>(word.matchAll(QStringLiteral("раз два три")).size());
        }));
        threads.back()->start();
    }
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    for (const int count : counts)
        EXPECT_EQ(count, 1500);
}
