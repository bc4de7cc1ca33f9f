#include "app/CorrectionSuggestions.h"

#include "core/SettingsStore.h"
#include "dictation/DictationDisplay.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(CorrectionSuggestions, AFixIsOfferedOnlyWhileOnAndOnlyUntilItIsLearnedOrDeclined)
{
    DictationDisplay display;
    QSignalSpy offered(&display, &DictationDisplay::badgeShown);
    CorrectionSuggestions suggestions(display);
    int learned = 0;
    suggestions.onLearned = [&] { ++learned; };
    const QString pasted = QStringLiteral("Открой гитхаб и жиру, пожалуйста.");
    const QString fixed = QStringLiteral("Открой GitHub и Jira, пожалуйста.");
    const CorrectionPair github{QStringLiteral("гитхаб"), QStringLiteral("GitHub")};
    const CorrectionPair jira{QStringLiteral("жиру"), QStringLiteral("Jira")};

    suggestions.textEdited(pasted, fixed);
    EXPECT_TRUE(suggestions.pending().empty()) << "the setting is off";

    SettingsStore::shared().setBool(SettingsKey::learnFromCorrections, true);
    suggestions.textEdited(pasted, fixed);
    suggestions.textEdited(pasted, fixed);
    EXPECT_EQ(suggestions.pending(), (std::vector<CorrectionPair>{github, jira})) << "each pair once";
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(offered.at(0).at(0).toString(), QStringLiteral("Запомнить: гитхаб → GitHub?"));

    suggestions.accept(github);
    suggestions.decline(jira);
    EXPECT_TRUE(suggestions.pending().empty());
    EXPECT_EQ(learned, 1);
    EXPECT_EQ(Corrections::load(), (std::vector<CorrectionPair>{github}));
    // Learned or declined, neither comes back.
    suggestions.textEdited(pasted, fixed);
    EXPECT_TRUE(suggestions.pending().empty());
    EXPECT_EQ(offered.size(), 2);
}
