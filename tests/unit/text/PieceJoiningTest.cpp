#include "text/PieceJoining.h"

#include "text/TranscriptPipeline.h"

#include <gtest/gtest.h>

TEST(PieceJoining, ReadsAJoinInsideASentenceAsOneSentence)
{
    const std::pair<QStringList, QString> rows[] = {
        {{QStringLiteral("Я пришёл домой."), QStringLiteral(" И сразу лёг спать.")},
         QStringLiteral("Я пришёл домой и сразу лёг спать.")},
        {{QStringLiteral("Он сказал"), QStringLiteral("Что придёт.")}, QStringLiteral("Он сказал, что придёт.")},
        {{QStringLiteral("Мы купили дом."), QStringLiteral("Который стоит у реки.")},
         QStringLiteral("Мы купили дом, который стоит у реки.")},
        {{QStringLiteral("Я поеду в."), QStringLiteral("Офис завтра.")}, QStringLiteral("Я поеду в офис завтра.")},
        // A letter after a number is a unit or a century, cut short.
        {{QStringLiteral("Фраза около 3 с."), QStringLiteral("Фраза около 4 с.")},
         QStringLiteral("Фраза около 3 с. Фраза около 4 с.")},
        {{QStringLiteral("Это было в XX в."), QStringLiteral("Но потом всё изменилось.")},
         QStringLiteral("Это было в XX в. Но потом всё изменилось.")},
        // Sentences of their own, names, «Я», abbreviations.
        {{QStringLiteral("Сегодня хорошая погода и мы"), QStringLiteral("пойдём гулять в парк"),
          QStringLiteral("Спасибо!")},
         QStringLiteral("Сегодня хорошая погода и мы пойдём гулять в парк Спасибо!")},
        {{QStringLiteral("Ты придёшь?"), QStringLiteral("И когда?")}, QStringLiteral("Ты придёшь? И когда?")},
        {{QStringLiteral("Я поеду в"), QStringLiteral("Москву.")}, QStringLiteral("Я поеду в Москву.")},
        {{QStringLiteral("Звонил Петров, я ответил"), QStringLiteral("Петров"), QStringLiteral("Но Я не смог.")},
         QStringLiteral("Звонил Петров, я ответил Петров, но Я не смог.")},
        {{QStringLiteral("Купили хлеб и т. д."), QStringLiteral("И ещё молоко.")},
         QStringLiteral("Купили хлеб и т. д. И ещё молоко.")},
        {{QStringLiteral("Договор с"), QStringLiteral("ООО «Ромашка».")}, QStringLiteral("Договор с ООО «Ромашка».")},
        {{QStringLiteral("Автор А."), QStringLiteral("Но кто?"), QStringLiteral(".")},
         QStringLiteral("Автор А. Но кто? .")},
    };
    for (const auto& [pieces, joined] : rows)
        EXPECT_EQ(PieceJoining::join(pieces).toStdString(), joined.toStdString()) << pieces.join(u'|').toStdString();
}

// A dictation recognized in two pieces, each with its capital and its period.
TEST(PieceJoining, TheTextOfARecognitionReadsItsPiecesAsOneSentence)
{
    const TranscriptionResult result{QStringLiteral("Я пришёл домой. И сразу лёг спать."),
                                     {SpeechSegment{QStringLiteral(" Я пришёл домой."), 0, 1500, 0.01, -0.1},
                                      SpeechSegment{QStringLiteral(" И сразу лёг спать."), 1500, 3000, 0.01, -0.1}}};
    EXPECT_EQ(TranscriptPipeline::textOf(result), QStringLiteral("Я пришёл домой и сразу лёг спать."));
}
