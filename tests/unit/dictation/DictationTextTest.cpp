#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "dictation/DictationController.h"
#include "text/Corrections.h"

#include <gtest/gtest.h>

namespace
{

SpeechSegment segment(const QString& text, int startMs, int endMs, double noSpeech = 0.02, double logprob = -0.3)
{
    return SpeechSegment{text, startMs, endMs, noSpeech, logprob};
}

} // namespace

TEST(DictationText, SegmentsAreCleanedCorrectedFilteredFormattedAndCapitalizedInThatOrder)
{
    Corrections::save(
        {{QStringLiteral("линукс"), QStringLiteral("Linux")}, {QStringLiteral("абзац"), QStringLiteral("раздел")}});
    SettingsStore settings(Paths::settingsFile());
    settings.setBool(SettingsKey::autoFormat, false);
    settings.setString(SettingsKey::outputFormat, QStringLiteral("plain"));

    const TranscriptionResult commands{
        {},
        {segment(QStringLiteral(" [музыка] я пользуюсь линуксом."), 0, 1500),
         // Corrections run before the formatter: the user's "абзац" is no command any more.
         segment(QStringLiteral(" Новый абзац."), 1500, 2000), segment(QStringLiteral(" Новая строка."), 2000, 2500),
         segment(QStringLiteral(" Ещё строка."), 2500, 3500),
         segment(QStringLiteral(" Продолжение следует..."), 3500, 4000, 0.9, -1.5)}};
    EXPECT_EQ(DictationController::textOf(commands).toStdString(), "Я пользуюсь Linuxом. Новый раздел.\nЕщё строка.");

    settings.setBool(SettingsKey::formattingEnabled, false);
    EXPECT_EQ(DictationController::textOf(commands).toStdString(),
              "Я пользуюсь Linuxом. Новый раздел. Новая строка. Ещё строка.");

    // Without segments the whole text is used; a lone remark or an invented credit leaves nothing.
    EXPECT_EQ(DictationController::textOf({QStringLiteral(" линукс [смех]"), {}}), QStringLiteral("Linux"));
    EXPECT_EQ(DictationController::textOf({QStringLiteral("(аплодисменты)"), {}}), QString());
    EXPECT_EQ(DictationController::textOf({QStringLiteral("Редактор субтитров А.Синецкая"), {}}), QString());
}

TEST(DictationText, TimerLineShowsMinutesAndTwoDigitSeconds)
{
    EXPECT_EQ(DictationController::timerText(0), QStringLiteral("0:00 · ⏎ готово · Esc отмена"));
    EXPECT_EQ(DictationController::timerText(75), QStringLiteral("1:15 · ⏎ готово · Esc отмена"));
    EXPECT_EQ(DictationController::timerText(600), QStringLiteral("10:00 · ⏎ готово · Esc отмена"));
}
