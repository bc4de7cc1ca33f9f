// The whisper-server client's own costs. The program doubles as the server it measures against: started
// with whisper-server's flags it listens like one and answers every recognition at once, so the figures
// hold the client's work, the loopback transfer and a minimal server, and no recognition.
#include "audio/WavWriter.h"
#include "engines/WhisperServer.h"
#include "support/LocalHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

namespace
{

qint64 wallMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A verbose_json answer for a minute of speech: 20 segments of three seconds.
QByteArray minuteAnswer()
{
    QJsonArray segments;
    QString text;
    for (int index = 0; index < 20; ++index) {
        const QString piece = QStringLiteral(" Сегодня хорошая погода и мы пойдём гулять в парк, номер %1.").arg(index);
        text += piece + QLatin1Char('\n');
        segments.append(QJsonObject{{"id", index},
                                    {"text", piece},
                                    {"start", index * 3.0},
                                    {"end", index * 3.0 + 2.9},
                                    {"tokens", QJsonArray{50364, 3401, 1234, 999}},
                                    {"temperature", 0.0},
                                    {"avg_logprob", -0.21},
                                    {"no_speech_prob", 0.01}});
    }
    return QJsonDocument(QJsonObject{{"task", "transcribe"},
                                     {"language", "russian"},
                                     {"duration", 60.0},
                                     {"text", text},
                                     {"segments", segments}})
        .toJson(QJsonDocument::Compact);
}

QByteArray wavOfSeconds(int seconds)
{
    std::vector<int16_t> samples(static_cast<size_t>(16000 * seconds));
    for (size_t index = 0; index < samples.size(); ++index)
        samples[index] = static_cast<int16_t>((index * 131) % 4000 - 2000);
    return WavWriter::data(samples, 16000);
}

int serveLikeWhisperServer(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const QString socketPath = arguments.value(arguments.indexOf("--socket") + 1);
    const QByteArray answer = minuteAnswer();
    LocalHttpServer server([&](const HttpRequest& request) {
        if (request.path == "/inference")
            return HttpResponse::json(answer);
        return HttpResponse::text(200, "<html></html>", "text/html");
    });
    if (!server.listenOn(socketPath))
        return 1;
    QFile mark(qEnvironmentVariable("BENCH_LISTENING_FILE"));
    if (mark.open(QIODevice::WriteOnly)) {
        mark.write(QByteArray::number(wallMicroseconds()));
        mark.close();
    }
    return application.exec();
}

struct Environment
{
    QTemporaryDir directory;
    QString model;

    Environment()
    {
        qputenv("XDG_STATE_HOME", (directory.path() + "/state").toUtf8());
        qputenv("TOLVAN_WHISPER_BIN", QCoreApplication::applicationFilePath().toUtf8());
        qputenv("BENCH_LISTENING_FILE", (directory.path() + "/listening").toUtf8());
        model = directory.path() + "/model.bin";
        QFile file(model);
        if (file.open(QIODevice::WriteOnly))
            file.write("model");
    }

    qint64 listeningAt() const
    {
        QFile file(directory.path() + "/listening");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toLongLong() : 0;
    }
};

// Runs the event loop until the condition holds, checking it whenever events have been handled.
bool spinUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// start → ready, split into the server's own start-up (spawn until it listens) and the rest: the
// client's readiness probing and the warm-up round trip.
void startToReady(benchmark::State& state)
{
    Environment environment;
    WhisperServer server;
    WhisperServer::Timing timing;
    timing.server.probePauseMs = static_cast<int>(state.range(0));
    server.setTiming(timing);
    double serverStartup = 0;
    double clientPart = 0;
    for (auto _ : state) {
        QFile::remove(environment.directory.path() + "/listening");
        const qint64 begin = wallMicroseconds();
        server.start(environment.model, QStringLiteral("ru"), QString());
        if (!spinUntil([&] { return server.state().kind != WhisperServer::State::starting; }) ||
            server.state().kind != WhisperServer::State::ready) {
            state.SkipWithError("the server did not become ready");
            break;
        }
        const qint64 end = wallMicroseconds();
        state.SetIterationTime((end - begin) / 1e6);
        serverStartup += (environment.listeningAt() - begin) / 1000.0;
        clientPart += (end - environment.listeningAt()) / 1000.0;
        server.stop();
    }
    state.counters["server_startup_ms"] = benchmark::Counter(serverStartup, benchmark::Counter::kAvgIterations);
    state.counters["listening_to_ready_ms"] = benchmark::Counter(clientPart, benchmark::Counter::kAvgIterations);
}
BENCHMARK(startToReady)->Arg(300)->Arg(10)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// One recognition of a recording of the given seconds against a server that answers at once.
void transcribeRoundTrip(benchmark::State& state)
{
    Environment environment;
    WhisperServer server;
    server.start(environment.model, QStringLiteral("ru"), QString());
    if (!spinUntil([&] { return server.state().kind == WhisperServer::State::ready; })) {
        state.SkipWithError("the server did not become ready");
        return;
    }
    const QByteArray wav = wavOfSeconds(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::optional<bool> succeeded;
        server.transcribe(wav, [&](const Result<TranscriptionResult>& result) { succeeded = result.ok(); });
        if (!spinUntil([&] { return succeeded.has_value(); }) || !*succeeded) {
            state.SkipWithError("the recognition failed");
            break;
        }
    }
    server.stop();
}
BENCHMARK(transcribeRoundTrip)->Arg(1)->Arg(10)->Arg(60)->Unit(benchmark::kMillisecond);

// The client's CPU work alone: the multipart body of a minute of audio, and decoding the answer.
void buildMinuteRequest(benchmark::State& state)
{
    const QByteArray wav = wavOfSeconds(60);
    for (auto _ : state)
        benchmark::DoNotOptimize(WhisperServer::multipartBody("tolvan-0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0", wav));
}
BENCHMARK(buildMinuteRequest)->Unit(benchmark::kMicrosecond);

void interpretMinuteAnswer(benchmark::State& state)
{
    const QByteArray answer = minuteAnswer();
    for (auto _ : state)
        benchmark::DoNotOptimize(WhisperServer::interpretAnswer(200, answer));
}
BENCHMARK(interpretMinuteAnswer)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "-m")
        return serveLikeWhisperServer(argc, argv);
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
