#include "text/TranscriptCleaner.h"

#include "text/Corrections.h"
#include "text/TranscriptPipeline.h"

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

TEST(TranscriptCleaner, NoControlCharacterOfARecognizerReachesTheTextToPaste)
{
    // What a broken or hostile model may emit: the end of a terminal's bracketed paste followed by a command,
    // other escape sequences, C1 controls, text reordered for the eye by bidirectional overrides.
    const struct
    {
        QString recognized;
        QString withoutControls;
    } rows[] = {
        {QStringLiteral("Привет\x1b[201~\nrm -rf ~\n"), QStringLiteral("Привет[201~\nrm -rf ~\n")},
        {QStringLiteral("Да\x07\x08\x7f\x01 нет\x00"), QStringLiteral("Да нет")},
        {QStringLiteral("Текст\u009b31m красный\u0085"), QStringLiteral("Текст31m красный")},
        {QStringLiteral("файл\u202egpj.exe и \u2066изоляция\u2069 \u202a\u202d"),
         QStringLiteral("файлgpj.exe и изоляция ")},
        {QStringLiteral("Строка\rвозврат\r\nдальше"), QStringLiteral("Строкавозврат\nдальше")},
        // Invisible format characters, astral tag characters among them; separators of lines become line feeds.
        {QStringLiteral("па\u200bро\u200cль\u200d \ufeffкод\u2060\u2064\u061c пере\u00adнос"),
         QStringLiteral("пароль код перенос")},
        {QStringLiteral("флаг\U000E0067\U000E0062\U000E007F конец\u2028строки\u2029абзац"),
         QStringLiteral("флаг конец\nстроки\nабзац")},
        // A lone surrogate is no character at all.
        {QStringLiteral("раз") + QChar(0xd800) + QStringLiteral(" два"), QStringLiteral("раз два")},
        // Line feeds and tabs are the text's own, and so are no-break and thin spaces.
        {QStringLiteral("5\u00a0кг и 10\u202f000\u2009₽"), QStringLiteral("5\u00a0кг и 10\u202f000\u2009₽")},
        {QStringLiteral("Раз.\nДва.\tТри."), QStringLiteral("Раз.\nДва.\tТри.")},
    };
    const auto segments = [](const QString& text) {
        return TranscriptionResult{text, {SpeechSegment{text, 0, 1000, 0.01, -0.1}}};
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TranscriptCleaner::withoutControls(row.recognized), row.withoutControls)
            << row.recognized.toStdString();
        // Through the whole pipeline, with segments or without, the controls make no difference but their absence.
        const QString pasted = TranscriptPipeline::textOf(segments(row.recognized));
        EXPECT_EQ(pasted, TranscriptPipeline::textOf(segments(row.withoutControls))) << row.recognized.toStdString();
        EXPECT_EQ(TranscriptPipeline::textOf({row.recognized, {}}),
                  TranscriptPipeline::textOf({row.withoutControls, {}}))
            << row.recognized.toStdString();
        EXPECT_EQ(TranscriptCleaner::withoutControls(pasted), pasted) << pasted.toStdString();
    }
}

// Annotations go before the dictionary looks, so a phrase broken by one is still the phrase it knows.
TEST(TranscriptPipelineTest, CleansEachSegmentBeforeTheDictionary)
{
    Corrections::save({{QStringLiteral("гит хаб"), QStringLiteral("GitHub")}});
    const TranscriptionResult result{{}, {SpeechSegment{QStringLiteral("открой гит [шум] хаб"), 0, 1500}}};
    EXPECT_EQ(TranscriptPipeline::textOf(result), QStringLiteral("Открой GitHub"));
}
