#include "quality/AdvisorText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

namespace
{

const QString phrase = QStringLiteral("ну короче я хотел сказать что завтра в десять мы созваниваемся по проекту и "
                                      "обсуждаем оплату, а отчёт я скину вечером, если получится");

// What goes to the server for one phrase: the prompt built and serialized.
void chatRequestForOnePhrase(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(AdvisorText::chatRequestBody(phrase, QStringLiteral("gopnik"), 7));
}
BENCHMARK(chatRequestForOnePhrase)->Unit(benchmark::kMicrosecond);

// What comes back: a whole chat answer with a reasoning block, read into advice.
void adviceFromOneAnswer(benchmark::State& state)
{
    const QString content = QStringLiteral("<think>\nНужно переписать в деловом стиле.\n</think>\nОЦЕНКА: 2\n"
                                           "ТЕКСТ: Завтра в десять созвонимся по проекту и обсудим оплату; отчёт "
                                           "пришлю вечером.");
    const QJsonObject message{{"role", "assistant"}, {"content", content}};
    const QJsonObject answer{{"choices", QJsonArray{QJsonObject{{"index", 0}, {"message", message}}}},
                             {"object", "chat.completion"}};
    const QByteArray body = QJsonDocument(answer).toJson(QJsonDocument::Compact);
    for (auto _ : state)
        benchmark::DoNotOptimize(AdvisorText::adviceFromAnswer(body, phrase));
}
BENCHMARK(adviceFromOneAnswer)->Unit(benchmark::kMicrosecond);

// The instant joke style on a long dictation of about a thousand words.
void dogTranslationOfAThousandWords(benchmark::State& state)
{
    QString text;
    for (int index = 0; index < 40; ++index)
        text += phrase + QStringLiteral(". ");
    for (auto _ : state)
        benchmark::DoNotOptimize(AdvisorText::animalTranslate(text, false));
    state.SetItemsProcessed(state.iterations() * text.size());
}
BENCHMARK(dogTranslationOfAThousandWords)->Unit(benchmark::kMicrosecond);

} // namespace
