#include "platform/atspi/PastedRange.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{

// «Привет. » before the pasted sentence, « Пока» after it; the bus counts characters, the emoji is one.
const QString before = QStringLiteral("🙂 Привет. ");
const QString pasted = QStringLiteral("Я пишу в толвон каждый день.");
const QString after = QStringLiteral(" Пока");
constexpr int wordAt = 2 + 8 + 9; // «толвон», in characters
constexpr int endAt = 2 + 8 + 28;

PastedRange range()
{
    return PastedRange(before + pasted + after, before.size(), pasted.size());
}

} // namespace

TEST(PastedRangeTest, TheFieldsReportsKeepThePastedTextUntilTheUserMovesOn)
{
    using Changes = std::function<bool(PastedRange&)>;
    const struct
    {
        const char* what;
        Changes changes;
        bool stillThere;
        QString now;
    } cases[] = {
        {"a word retyped",
         [](PastedRange& r) { return r.deleted(wordAt, 6) && r.inserted(wordAt, QStringLiteral("Толван")); }, true,
         QStringLiteral("Я пишу в Толван каждый день.")},
        {"the first word retyped",
         [](PastedRange& r) { return r.deleted(10, 1) && r.inserted(10, QStringLiteral("Мы")); }, true,
         QStringLiteral("Мы пишу в толвон каждый день.")},
        {"a letter added to the last word, then a word of its own typed after it",
         [](PastedRange& r) {
             return r.deleted(endAt - 1, 1) && r.inserted(endAt - 1, QStringLiteral("ь")) &&
                    r.inserted(endAt, QStringLiteral(" и ещё"));
         },
         true, QStringLiteral("Я пишу в толвон каждый деньь")},
        {"text typed before it and after it",
         [](PastedRange& r) {
             // «Эх, » at the start, «П» of «Привет» deleted, «Ну » right before the pasted text, «!» at the end.
             return r.inserted(0, QStringLiteral("Эх, ")) && r.deleted(6, 1) && r.inserted(13, QStringLiteral("Ну ")) &&
                    r.inserted(endAt + 6 + 5, QStringLiteral("!"));
         },
         true, pasted},
        {"Enter typed after the fix",
         [](PastedRange& r) {
             return r.deleted(wordAt, 1) && r.inserted(wordAt, QStringLiteral("Т")) &&
                    r.inserted(endAt, QStringLiteral("\n"));
         },
         false, QStringLiteral("Я пишу в Толвон каждый день.")},
        {"the message sent: the field emptied",
         [](PastedRange& r) {
             return r.deleted(wordAt, 6) && r.inserted(wordAt, QStringLiteral("Толван")) && r.deleted(0, endAt + 5);
         },
         false, QStringLiteral("Я пишу в Толван каждый день.")},
        {"the pasted text deleted word by word to the end",
         [](PastedRange& r) { return r.deleted(10, 16) && r.deleted(10, 12); }, false, QStringLiteral("каждый день.")},
        {"a deletion reaching into the text before", [](PastedRange& r) { return r.deleted(8, 4); }, false, pasted},
        {"a change past the end of the text", [](PastedRange& r) { return r.inserted(500, QStringLiteral("x")); },
         false, pasted},
    };
    for (const auto& test : cases) {
        PastedRange followed = range();
        EXPECT_EQ(test.changes(followed), test.stillThere) << test.what;
        EXPECT_EQ(followed.now().toStdString(), test.now.toStdString()) << test.what;
    }
}

TEST(PastedRangeTest, TheTextReadAgainCountsWhileTheTextAroundItIsTheSameAndALaterPasteIsNotTheUsers)
{
    PastedRange followed = range();
    ASSERT_TRUE(followed.inserted(0, QStringLiteral("Эх, ")));
    const QString fixed = QStringLiteral("Я пишу в Толван каждый день.");
    EXPECT_EQ(followed.within(QStringLiteral("Эх, ") + before + fixed + after).value_or(QString()).toStdString(),
              fixed.toStdString());
    EXPECT_FALSE(followed.within(before + fixed + after)) << "the text before it was read as it was";
    EXPECT_FALSE(followed.within(QStringLiteral("Эх, ") + before + fixed)) << "the text after it is gone";
    EXPECT_FALSE(followed.within(QString()));

    // The next dictation pasted into the same field right after this one, before it was let go.
    ASSERT_TRUE(followed.deleted(4 + wordAt, 6) && followed.inserted(4 + wordAt, QStringLiteral("Толван")) &&
                followed.inserted(4 + endAt, QStringLiteral("Ещё фраза.")));
    EXPECT_EQ(followed.nowBefore(QStringLiteral("Ещё фраза. ")).toStdString(), fixed.toStdString());
    EXPECT_EQ(followed.nowBefore(QStringLiteral("Другая.")).toStdString(),
              (fixed + QStringLiteral("Ещё фраза.")).toStdString());
}
