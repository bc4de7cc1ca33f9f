#include "audio/WavWriter.h"
#include "transcript/Segments.h"

#include <QJsonArray>

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

// A ten-minute recording packed for the recognizer.
void wavOfTenMinutes(benchmark::State& state)
{
    const std::vector<int16_t> samples(16000 * 600, 1234);
    for (auto _ : state)
        benchmark::DoNotOptimize(WavWriter::data(samples, 16000));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(samples.size()) * 2);
}
BENCHMARK(wavOfTenMinutes)->Unit(benchmark::kMillisecond);

// A whisper-server answer for a ten-minute dictation: 200 segments, every fourth one a continuation.
void parseTenMinuteAnswer(benchmark::State& state)
{
    QJsonArray segments;
    for (int index = 0; index < 200; ++index) {
        const QString text = index % 4 == 3 ? QStringLiteral("продолжение слова")
                                            : QStringLiteral(" Сегодня хорошая погода и мы пойдём");
        segments.append(QJsonObject{{QStringLiteral("text"), text},
                                    {QStringLiteral("start"), index * 3.0},
                                    {QStringLiteral("end"), index * 3.0 + 2.9},
                                    {QStringLiteral("no_speech_prob"), 0.01},
                                    {QStringLiteral("avg_logprob"), -0.2}});
    }
    const QJsonObject answer{{QStringLiteral("segments"), segments}};
    for (auto _ : state)
        benchmark::DoNotOptimize(Segments::parseSegments(answer));
}
BENCHMARK(parseTenMinuteAnswer)->Unit(benchmark::kMicrosecond);

} // namespace
