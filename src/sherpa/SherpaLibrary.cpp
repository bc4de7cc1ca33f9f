#include "SherpaLibrary.h"

#include "WaveFile.h"

#include <QElapsedTimer>
#include <QFile>

#include <exception>
#include <memory>

namespace
{

template <typename Function> bool resolve(QLibrary& library, const char* name, Function& function, QString& problem)
{
    function = reinterpret_cast<Function>(library.resolve(name));
    if (!function)
        problem = QStringLiteral("в библиотеке sherpa-onnx нет функции ") + QLatin1String(name);
    return function != nullptr;
}

double secondsOf(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

std::optional<SherpaLibrary> SherpaLibrary::open(const QString& path, QString& problem)
{
    // Its destruction leaves the library loaded: the functions stay valid for the life of the process.
    auto library = std::make_unique<QLibrary>(path);
    if (!library->load()) {
        problem = QStringLiteral("не удалось загрузить %1: %2").arg(path, library->errorString());
        return std::nullopt;
    }
    VersionFunction version = nullptr;
    if (!resolve(*library, "SherpaOnnxGetVersionStr", version, problem))
        return std::nullopt;
    const QString actual = QString::fromUtf8(version());
    if (actual != expectedVersion) {
        problem = QStringLiteral("библиотека sherpa-onnx версии %1, а программа написана для версии %2: их "
                                 "настройки не совпадают (переустановите приложение)")
                      .arg(actual, expectedVersion);
        return std::nullopt;
    }
    Functions functions;
    const bool complete =
        resolve(*library, "SherpaOnnxCreateOfflineRecognizer", functions.createRecognizer, problem) &&
        resolve(*library, "SherpaOnnxDestroyOfflineRecognizer", functions.destroyRecognizer, problem) &&
        resolve(*library, "SherpaOnnxCreateOfflineStream", functions.createStream, problem) &&
        resolve(*library, "SherpaOnnxDestroyOfflineStream", functions.destroyStream, problem) &&
        resolve(*library, "SherpaOnnxAcceptWaveformOffline", functions.acceptWaveform, problem) &&
        resolve(*library, "SherpaOnnxDecodeOfflineStream", functions.decode, problem) &&
        resolve(*library, "SherpaOnnxGetOfflineStreamResultAsJson", functions.resultJson, problem) &&
        resolve(*library, "SherpaOnnxDestroyOfflineStreamResultJson", functions.freeResultJson, problem);
    if (!complete)
        return std::nullopt;
    return SherpaLibrary(std::move(library), functions);
}

std::optional<SherpaLibrary::LoadedModel> SherpaLibrary::load(const OfflineOptions& options, QString& problem) const
{
    const QByteArray encoder = QFile::encodeName(options.encoder);
    const QByteArray decoder = QFile::encodeName(options.decoder);
    const QByteArray joiner = QFile::encodeName(options.joiner);
    const QByteArray tokens = QFile::encodeName(options.tokens);
    const QByteArray modelType = options.modelType.toUtf8();
    auto configuration = std::make_unique<Configuration>();
    configuration->encoder = encoder.constData();
    configuration->decoder = decoder.constData();
    configuration->joiner = joiner.constData();
    configuration->tokens = tokens.constData();
    configuration->threads = options.threads;
    configuration->debug = options.debug ? 1 : 0;
    configuration->modelType = modelType.constData();

    const Recognizer* created = nullptr;
    try {
        created = functions_.createRecognizer(configuration.get());
    } catch (const std::exception& error) {
        // onnxruntime refuses a file that is no model with an exception the library lets through.
        problem = QStringLiteral("модель не загрузилась: ") + QString::fromUtf8(error.what());
        return std::nullopt;
    }
    if (!created) {
        problem = QStringLiteral("модель не загрузилась: файлы модели отсутствуют или не подходят");
        return std::nullopt;
    }
    return LoadedModel(created, functions_.destroyRecognizer);
}

std::optional<QByteArray> SherpaLibrary::recognize(const OfflineOptions& options, Timing& timing,
                                                   QString& problem) const
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<LoadedModel> model = load(options, problem);
    timing.loadSeconds = secondsOf(timer);
    if (!model)
        return std::nullopt;
    timer.restart();
    std::optional<QByteArray> result = recognize(model->get(), options.wav, problem);
    timing.recognitionSeconds = secondsOf(timer);
    return result;
}

std::optional<QByteArray> SherpaLibrary::recognize(const Recognizer* model, const QString& wavPath,
                                                   QString& problem) const
{
    const std::optional<WaveFile::Samples> wave = WaveFile::read(wavPath, problem);
    if (!wave)
        return std::nullopt;
    try {
        const std::unique_ptr<const Stream, DestroyStreamFunction> stream(functions_.createStream(model),
                                                                          functions_.destroyStream);
        functions_.acceptWaveform(stream.get(), wave->sampleRate, wave->values.data(),
                                  static_cast<int32_t>(wave->values.size()));
        functions_.decode(model, stream.get());
        const std::unique_ptr<const char, FreeResultJsonFunction> json(functions_.resultJson(stream.get()),
                                                                       functions_.freeResultJson);
        return QByteArray(json.get());
    } catch (const std::exception& error) {
        problem = QStringLiteral("распознавание не удалось: ") + QString::fromUtf8(error.what());
        return std::nullopt;
    }
}
