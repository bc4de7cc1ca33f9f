// sherpa-onnx-offline: recognizes one WAV file with a non-streaming transducer model through the sherpa-onnx
// library beside this program, and prints the library's result as one JSON line on standard output. Problems
// go to standard error, with exit status 1; the time spent loading the model and recognizing goes there too.
// With --serve it loads the model once and recognizes the recordings named on standard input (see Serving).
#include "OfflineOptions.h"
#include "Serving.h"
#include "SherpaLibrary.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace
{

int fail(const QString& problem)
{
    std::fprintf(stderr, "sherpa-onnx-offline: %s\n", problem.toUtf8().constData());
    return 1;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// Builds with AddressSanitizer: the library loses its 8-byte recognizer record when onnxruntime refuses a model
// (the exception passes through it), which is not ours to fix.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:SherpaOnnxCreateOfflineRecognizer\n";
}
#endif

int main(int argc, char** argv)
{
    const QCoreApplication application(argc, argv);
    QString problem;
    const std::optional<OfflineOptions> options = OfflineOptions::parse(application.arguments().mid(1), problem);
    if (!options)
        return fail(problem + QStringLiteral("\nиспользование: sherpa-onnx-offline --encoder=ФАЙЛ --decoder=ФАЙЛ "
                                             "--joiner=ФАЙЛ --tokens=ФАЙЛ --model-type=ТИП --num-threads=N "
                                             "[--debug=1] ЗАПИСЬ.wav|--serve"));
    const std::optional<SherpaLibrary> library = SherpaLibrary::open(
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + SherpaLibrary::fileName, problem);
    if (!library)
        return fail(problem);
    if (options->serve) {
        const std::optional<SherpaLibrary::LoadedModel> model = library->load(*options, problem);
        if (!model)
            return fail(problem);
        return Serving::run(*library, model->get(), stdin, stdout);
    }
    SherpaLibrary::Timing timing;
    const std::optional<QByteArray> json = library->recognize(*options, timing, problem);
    if (!json)
        return fail(problem);
    std::fprintf(stdout, "%s\n", json->constData());
    std::fprintf(stderr, "sherpa-onnx-offline: загрузка модели %.3f с, распознавание %.3f с\n", timing.loadSeconds,
                 timing.recognitionSeconds);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
