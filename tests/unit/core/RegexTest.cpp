#include "core/Regex.h"

#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

TEST(Regex, PositionsCountUtf16CodeUnitsAndGroupsMayBeMissing)
{
    const QString text = QStringLiteral("😀 привет мир");
    const auto matches = Regex(QStringLiteral("\\p{L}+")).matchAll(text);
    ASSERT_EQ(matches.size(), 2u);
    // The emoji is two code units, then a space.
    EXPECT_EQ(std::tuple(matches[0].start(), matches[0].length(), matches[0].captured()),
              std::tuple(3, 6, QStringLiteral("привет")));
    EXPECT_EQ(text.mid(matches[1].start(), matches[1].length()), QStringLiteral("мир"));

    const Regex pair(QStringLiteral("(\\d+)(?:-(\\d+))?"));
    const auto first = pair.match(QStringLiteral("в 12 и 3-4"), 4);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(std::tuple(first->captured(1), first->captured(2), first->groupCount()),
              std::tuple(QStringLiteral("3"), QStringLiteral("4"), 2));
    const auto second = pair.match(QStringLiteral("12"));
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(second->captured(2).isNull());
    EXPECT_EQ(second->start(2), -1);
    EXPECT_FALSE(pair.match(QStringLiteral("12"), 5).has_value());
    EXPECT_TRUE(pair.matchesEntirely(QStringLiteral("3-4")));
    EXPECT_FALSE(pair.matchesEntirely(QStringLiteral("3-4 ")));
}

TEST(Regex, CaseInsensitiveCyrillicAndLookAround)
{
    const Regex insensitive(QStringLiteral("(?<!\\p{L})щас(?!\\p{L})"), Regex::CaseInsensitive);
    EXPECT_TRUE(insensitive.contains(QStringLiteral("ну ЩАС приду")));
    EXPECT_FALSE(insensitive.contains(QStringLiteral("щастье")));
    EXPECT_FALSE(Regex(QStringLiteral("щас")).contains(QStringLiteral("ЩАС")));
    EXPECT_TRUE(Regex(QStringLiteral("(\\p{L}+) \\1")).contains(QStringLiteral("ну ну")));
}

TEST(Regex, ReplaceAllWithGroupReferencesFunctionsAndEscapedText)
{
    const Regex spaced(QStringLiteral("(\\p{L}+)\\s+([,.])"));
    EXPECT_EQ(spaced.replaceAll(QStringLiteral("да , нет ."), QStringLiteral("$1$2")), QStringLiteral("да, нет."));
    EXPECT_EQ(spaced.replaceAll(QStringLiteral("ничего"), QStringLiteral("$1")), QStringLiteral("ничего"));
    // A reference to a group that does not exist leaves the text alone.
    EXPECT_EQ(spaced.replaceAll(QStringLiteral("да ,"), QStringLiteral("$7")), QStringLiteral("да ,"));
    EXPECT_EQ(Regex(QStringLiteral("\\p{L}+"))
                  .replaceAll(QStringLiteral("😀 мир, дом"),
                              [](const Regex::Match& match) { return match.captured().toUpper(); }),
              QStringLiteral("😀 МИР, ДОМ"));

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
    std::vector<std::unique_ptr<QThread>> threads;
    for (size_t index = 0; index < counts.size(); ++index) {
        threads.emplace_back(QThread::create([&word, &counts, index] {
            for (int round = 0; round < 500; ++round)
                counts[index] += static_cast<int>(word.matchAll(QStringLiteral("раз два три")).size());
        }));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    EXPECT_EQ(counts, std::vector<int>(4, 1500));
}
