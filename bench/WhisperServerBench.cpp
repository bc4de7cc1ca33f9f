// The real whisper-server with the app's own command line and request bodies:
//   whisper_server_bench WHISPER_SERVER MODEL.bin SPEECH.wav [ROUNDS [PIECE.wav…]]
// prints the time of one /inference request of the WAV with the app's body and with the same body without
// no_language_probabilities (alternating, ROUNDS of each, default 5), and the server's resident memory after
// loading, at rest after the warm-up and at its highest while requests run. Each PIECE.wav is then recognized
// once with the app's body, its time printed beside its length.
#include "audio/WavWriter.h"
#include "children/ChildProcess.h"
#include "children/LocalHttp.h"
#include "engines/WhisperServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace
{

// VmRSS or VmHWM of a process, in MiB; -1 once it is gone.
double memoryMiB(qint64 pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toDouble() /
                   1024.0;
    }
    return -1;
}

struct Outcome
{
    double seconds = -1;
    int status = 0;
};

// One request; meanwhile the server's resident memory is sampled every 10 ms into `peak`.
Outcome timedRequest(const QString& socketPath, const QByteArray& boundary, const QByteArray& body, qint64 pid,
                     double& peak)
{
    LocalHttp::Request request;
    request.method = "POST";
    request.path = "/inference";
    request.contentType = "multipart/form-data; boundary=" + boundary;
    request.body = {body};
    request.idleTimeoutMs = 600000;
    QObject context;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &context, [&] { peak = std::max(peak, memoryMiB(pid, "VmRSS:")); });
    sampler.start(10);
    std::optional<Outcome> outcome;
    QElapsedTimer clock;
    clock.start();
    LocalHttp::send(&context, socketPath, request, [&](const Result<LocalHttp::Answer>& answer) {
        outcome = Outcome{static_cast<double>(clock.nsecsElapsed()) / 1e9, answer ? answer.value().status : 0};
    });
    if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 600000))
        return Outcome{};
    return outcome.value_or(Outcome{});
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: %s WHISPER_SERVER MODEL.bin SPEECH.wav [ROUNDS]\n", argv[0]);
        return 2;
    }
    QFile wavFile(arguments.at(3));
    if (!wavFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments.at(3)));
        return 1;
    }
    const QByteArray speech = wavFile.readAll();
    const int rounds = arguments.size() > 4 ? arguments.at(4).toInt() : 5;

    const QTemporaryDir folder;
    const QString socketPath = folder.filePath(QStringLiteral("whisper-server.sock"));
    const int threads = ChildProcess::recognizerThreadCount();
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer loading;
    loading.start();
    server.start(arguments.at(1), WhisperServer::arguments(arguments.at(2), socketPath, threads, QStringLiteral("ru")));
    if (!server.waitForStarted(5000))
        return 1;
    const qint64 pid = server.processId();
    const bool listening = QTest::qWaitFor(
        [&] {
            QLocalSocket socket;
            socket.connectToServer(socketPath);
            return socket.waitForConnected(100) || server.state() != QProcess::Running;
        },
        300000);
    if (!listening || server.state() != QProcess::Running) {
        std::fprintf(stderr, "whisper-server did not start\n");
        return 1;
    }
    std::printf("model %s, %d threads, listening after %.2f s\n", qPrintable(arguments.at(2)), threads,
                static_cast<double>(loading.elapsed()) / 1000.0);
    const double loaded = memoryMiB(pid, "VmRSS:");

    const QByteArray boundary = "tolvan-bench";
    double peak = 0;
    const std::vector<int16_t> silence(16000, 0);
    const Outcome warmUp = timedRequest(
        socketPath, boundary, WhisperServer::multipartBody(boundary, WavWriter::data(silence, 16000)), pid, peak);
    QTest::qWait(500);
    const double rest = memoryMiB(pid, "VmRSS:");
    std::printf("warm-up (1 s of silence): %.2f s, HTTP %d\n", warmUp.seconds, warmUp.status);

    const QByteArray withField = WhisperServer::multipartBody(boundary, speech);
    QByteArray withoutField = withField;
    withoutField.replace("--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"no_language_probabilities\"\r\n\r\ntrue\r\n",
                         QByteArray());
    std::vector<double> fast;
    std::vector<double> slow;
    peak = 0;
    for (int round = 0; round < rounds; ++round) {
        const Outcome with = timedRequest(socketPath, boundary, withField, pid, peak);
        const Outcome without = timedRequest(socketPath, boundary, withoutField, pid, peak);
        if (with.status != 200 || without.status != 200) {
            std::fprintf(stderr, "a request failed: HTTP %d / %d\n", with.status, without.status);
            return 1;
        }
        std::printf("round %d: with no_language_probabilities %.3f s, without %.3f s\n", round + 1, with.seconds,
                    without.seconds);
        fast.push_back(with.seconds);
        slow.push_back(without.seconds);
    }
    std::printf("median per request: with no_language_probabilities %.3f s, without %.3f s\n", median(fast),
                median(slow));
    for (const QString& piece : arguments.mid(5)) {
        QFile pieceFile(piece);
        if (!pieceFile.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray wav = pieceFile.readAll();
        const double seconds = static_cast<double>(wav.size() - WavWriter::headerSize) / (2.0 * 16000.0);
        const Outcome outcome =
            timedRequest(socketPath, boundary, WhisperServer::multipartBody(boundary, wav), pid, peak);
        if (outcome.status != 200)
            return 1;
        std::printf("piece of %.1f s: %.2f s (%.2f of its length)\n", seconds, outcome.seconds,
                    outcome.seconds / seconds);
    }
    std::printf("whisper-server RSS: %.1f MiB after loading, %.1f MiB at rest after the warm-up, "
                "%.1f MiB at most during requests (VmHWM %.1f MiB)\n",
                loaded, rest, peak, memoryMiB(pid, "VmHWM:"));
    server.terminate();
    server.waitForFinished(10000);
    return 0;
}
