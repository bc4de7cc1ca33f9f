#include "voice/SileroLibrary.h"

#include <QFile>

#include <exception>

namespace
{

template <typename Function> bool resolve(QLibrary& library, const char* name, Function& function, QString& problem)
{
    function = reinterpret_cast<Function>(library.resolve(name));
    if (!function)
        problem = QStringLiteral("в библиотеке sherpa-onnx нет функции ") + QLatin1String(name);
    return function != nullptr;
}

// A window is speech above this probability; speech ends after 0.1 s below it, and must last 0.1 s to count. Short
// enough that the recorder's blocks follow the speech closely: the pauses that matter are the cutter's 0.7 s.
constexpr float speechThreshold = 0.5F;
constexpr float minimumSilenceSeconds = 0.1F;
constexpr float minimumSpeechSeconds = 0.1F;
// The library keeps the samples of the speech under way and copies them at every call; beyond this it splits speech
// at its next dip, which keeps that copy small. The cutter's forced cut comes at 25 s anyway.
constexpr float maximumSpeechSeconds = 20.0F;
constexpr float bufferSeconds = 30.0F;
constexpr int32_t sileroWindow = 512;

} // namespace

std::optional<SileroLibrary> SileroLibrary::open(const QString& path, QString& problem)
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
        problem = QStringLiteral("библиотека sherpa-onnx версии %1, а программа написана для версии %2")
                      .arg(actual, expectedVersion);
        return std::nullopt;
    }
    Functions functions;
    const bool complete =
        resolve(*library, "SherpaOnnxCreateVoiceActivityDetector", functions.create, problem) &&
        resolve(*library, "SherpaOnnxDestroyVoiceActivityDetector", functions.destroy, problem) &&
        resolve(*library, "SherpaOnnxVoiceActivityDetectorAcceptWaveform", functions.accept, problem) &&
        resolve(*library, "SherpaOnnxVoiceActivityDetectorDetected", functions.detected, problem) &&
        resolve(*library, "SherpaOnnxVoiceActivityDetectorEmpty", functions.empty, problem) &&
        resolve(*library, "SherpaOnnxVoiceActivityDetectorClear", functions.clear, problem) &&
        resolve(*library, "SherpaOnnxVoiceActivityDetectorReset", functions.reset, problem);
    if (!complete)
        return std::nullopt;
    return SileroLibrary(std::move(library), functions);
}

std::optional<SileroLibrary::LoadedDetector> SileroLibrary::create(const QString& modelPath, QString& problem) const
{
    // The library ends the process over a model file it cannot open, so a missing one is caught here.
    if (!QFile::exists(modelPath)) {
        problem = QStringLiteral("нет файла модели ") + modelPath;
        return std::nullopt;
    }
    const QByteArray model = QFile::encodeName(modelPath);
    auto configuration = std::make_unique<Configuration>();
    configuration->silero = {model.constData(),    speechThreshold, minimumSilenceSeconds,
                             minimumSpeechSeconds, sileroWindow,    maximumSpeechSeconds};
    configuration->sampleRate = sampleRate;
    configuration->threads = 1;
    configuration->provider = "cpu";
    const Detector* created = nullptr;
    try {
        created = functions_.create(configuration.get(), bufferSeconds);
    } catch (const std::exception& error) {
        // onnxruntime refuses a file that is no model with an exception the library lets through.
        problem = QStringLiteral("модель не загрузилась: ") + QString::fromUtf8(error.what());
        return std::nullopt;
    }
    if (!created) {
        problem = QStringLiteral("модель не загрузилась: ") + modelPath;
        return std::nullopt;
    }
    return LoadedDetector(created, functions_.destroy);
}

bool SileroLibrary::accept(const Detector* detector, std::span<const float> samples) const
{
    functions_.accept(detector, samples.data(), static_cast<int32_t>(samples.size()));
    // The finished stretches of speech it queues are of no use here: only whether speech goes on.
    if (!functions_.empty(detector))
        functions_.clear(detector);
    return functions_.detected(detector) != 0;
}

void SileroLibrary::reset(const Detector* detector) const
{
    functions_.reset(detector);
}
