#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"

#include <QStringList>

#include <benchmark/benchmark.h>

namespace
{

// A dictated phrase of 30 words with a filler, a repetition and a disputed phrasing.
const QString phrase =
    QStringLiteral("Ну, я думаю, что вообщем этот отчёт нужно отправить отправить сегодня, потому что "
                   "завтра у нас совещание и крайний раз мы опоздали на целых два дня с "
                   "отчётом по проекту.");

// About 1 500 words of dictation: varied sentences, fillers, repetitions, long and comma-heavy sentences.
QString longDictation()
{
    const QStringList sentences = {
        QStringLiteral("Сегодня утром мы обсудили план работ на следующую неделю и распределили задачи."),
        QStringLiteral("Короче, отчёт который мы готовили, который обещали клиенту, почти готов."),
        QStringLiteral("Я думаю думаю, что согласно договора мы должны сдать его до пятницы."),
        QStringLiteral(
            "Ну вот, осталось проверить таблицы, графики, подписи, ссылки, приложения, сноски и оглавление."),
        QStringLiteral("Это самый лучший вариант из всех, которые мы рассматривали в данный момент времени."),
        QStringLiteral("Потом нужно отправить письмо бухгалтерии, чтобы они оплатили за услуги подрядчика без "
                       "задержек и лишних вопросов, потому что в прошлый раз всё затянулось почти на месяц и "
                       "руководство было очень недовольно тем, как шла работа."),
        QStringLiteral("Вообщем, всё идёт по плану."),
    };
    QStringList words;
    QString text;
    for (int index = 0; words.size() < 1500; ++index) {
        const QString& sentence = sentences.at(index % sentences.size());
        text += sentence + (index % 5 == 4 ? u'\n' : u' ');
        words += sentence.split(u' ');
    }
    return text;
}

void analyzeScoreAndClean(benchmark::State& state, const QString& text)
{
    for (auto _ : state) {
        const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
        benchmark::DoNotOptimize(SpeechQuality::score(issues));
        benchmark::DoNotOptimize(SpeechCleaning::clean(text, issues));
    }
}

void phraseOfThirtyWords(benchmark::State& state)
{
    analyzeScoreAndClean(state, phrase);
}
BENCHMARK(phraseOfThirtyWords)->Unit(benchmark::kMicrosecond);

void textOfFifteenHundredWords(benchmark::State& state)
{
    static const QString text = longDictation();
    analyzeScoreAndClean(state, text);
}
BENCHMARK(textOfFifteenHundredWords)->Unit(benchmark::kMillisecond);

} // namespace
