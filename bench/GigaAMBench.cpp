// Enter → text with GigaAM: the bundled sherpa-onnx-offline started for every recording against the one kept
// running with the model loaded, for a short dictation (the recognition plus the text pipeline), and the kept
// process's resident memory. The model is the scripted transducer of the tests padded to the real files' sizes
// (it loads like them, recognizes in a fraction of the real model's time). Needs the sherpa-onnx libraries
// beside the program (scripts/fetch-sherpa-onnx.sh BUILD_TREE) and Debian's python3-onnx and python3-numpy.
#include "children/ChildProcess.h"
#include "core/Resources.h"
#include "engines/GigaAMEngine.h"
#include "engines/ModelCatalog.h"
#include "text/TranscriptPipeline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>

namespace
{

QByteArray shortDictation()
{
    QFile file(QStringLiteral(TOLVAN_SPEECH_FIXTURE));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text of one recording, Enter to text: recognized and put through the pipeline. Keeps the event loop
// running meanwhile, for the kept process's answers.
QString enterToText(GigaAMEngine& engine, const QByteArray& wav)
{
    std::atomic<bool> done = false;
    QString text;
    engine.transcribe(wav, [&](const Result<TranscriptionResult>& result) {
        text = result ? TranscriptPipeline::textOf(result.value())
                      : QStringLiteral("ОШИБКА: ") + result.error().description();
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done)
            QThread::usleep(200);
    }
    return text;
}

double residentMB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void check(benchmark::State& state, const QString& text)
{
    if (text != QStringLiteral("Привет мир"))
        state.SkipWithError(text.toStdString().c_str());
}

void BM_GigaAMEnterToTextOneShot(benchmark::State& state)
{
    GigaAMEngine engine;
    const QByteArray wav = shortDictation();
    for (auto _ : state)
        check(state, enterToText(engine, wav));
}
BENCHMARK(BM_GigaAMEnterToTextOneShot)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_GigaAMEnterToTextWarm(benchmark::State& state)
{
    GigaAMEngine engine;
    engine.start();
    const QByteArray wav = shortDictation();
    // The first one waits for the start and the warm-up.
    check(state, enterToText(engine, wav));
    const qint64 pid = engine.servingProcessId();
    state.counters["rss_at_rest_MB"] = residentMB(pid);
    for (auto _ : state)
        check(state, enterToText(engine, wav));
    state.counters["rss_after_MB"] = residentMB(pid);
    state.counters["same_process"] = engine.servingProcessId() == pid ? 1 : 0;
    engine.stop();
}
BENCHMARK(BM_GigaAMEnterToTextWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// The scripted model, padded to the catalog's sizes, in a data directory of the program's own.
bool placeModel(const QString& dataHome)
{
    qputenv("XDG_DATA_HOME", dataHome.toUtf8());
    const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    QDir().mkpath(model.location());
    QStringList arguments{QStringLiteral(TOLVAN_TINY_TRANSDUCER_GENERATOR), model.location()};
    for (const double sizeMB : model.fileSizesMB)
        arguments.append(QString::number(ModelCatalog::completeSizeThreshold(sizeMB) + 1));
    return QProcess::execute(QStringLiteral("/usr/bin/python3"), arguments) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    qunsetenv("TOLVAN_SHERPA_BIN");
    const QCoreApplication application(argc, argv);
    if (!QFileInfo::exists(QFileInfo(Resources::bundledSherpaOffline()).absolutePath() +
                           QStringLiteral("/libsherpa-onnx-c-api.so"))) {
        std::fprintf(stderr, "gigaam_bench: no sherpa-onnx beside %s (scripts/fetch-sherpa-onnx.sh BUILD_TREE)\n",
                     qPrintable(Resources::bundledSherpaOffline()));
        return 0;
    }
    const QTemporaryDir dataHome;
    if (!placeModel(dataHome.path()))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ChildProcess::finishEnding();
    return 0;
}
