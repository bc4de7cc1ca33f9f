#include "engines/ModelCatalog.h"

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "engines/CustomModels.h"
#include "engines/ModelHub.h"
#include "engines/ModelManager.h"
#include "engines/WhisperGpu.h"

#include <cmath>
#include <optional>

namespace
{

const QString whisperRepository = QStringLiteral("ggerganov/whisper.cpp");
const QString whisperRevision = QStringLiteral("5359861c739e955e79d9a303bcbc70fb988958b1");
const QString gigaamRepository =
    QStringLiteral("csukuangfj/sherpa-onnx-nemo-transducer-punct-giga-am-v3-russian-2025-12-16");

RecognitionModel whisperEntry(const char* id, const char* file, const char* title, int sizeMB, const char* note,
                              const char* hash)
{
    RecognitionModel model;
    model.id = QString::fromUtf8(id);
    model.file = QString::fromUtf8(file);
    model.title = QString::fromUtf8(title);
    model.sizeMB = sizeMB;
    model.note = QString::fromUtf8(note);
    model.engine = EngineKind::whisper;
    model.repository = whisperRepository;
    model.revision = whisperRevision;
    model.hashes = {QString::fromUtf8(hash)};
    return model;
}

RecognitionModel gigaamEntry()
{
    RecognitionModel model;
    model.id = QStringLiteral("gigaam-v3");
    model.file = QStringLiteral("gigaam-v3/encoder.int8.onnx");
    model.title = QStringLiteral("GigaAM-v3 (Сбер)");
    model.sizeMB = 222;
    model.note = QStringLiteral("русская SOTA, не галлюцинирует — эксперимент");
    model.engine = EngineKind::gigaam;
    model.files = {QStringLiteral("encoder.int8.onnx"), QStringLiteral("decoder.onnx"), QStringLiteral("joiner.onnx"),
                   QStringLiteral("tokens.txt")};
    model.fileSizesMB = {214.3, 4.4, 2.6, 0.01};
    model.repository = gigaamRepository;
    // No digest of these files has been pinned from their model page yet: they come from the hub alone (never the
    // mirror) and are checked by size.
    return model;
}

std::vector<RecognitionModel> buildCatalog()
{
    return {
        whisperEntry("large-v3-turbo-q5_0", "ggml-large-v3-turbo-q5_0.bin", "Turbo v3", 574,
                     "быстро и точно — рекомендуется", "sha1:e050f7970618a659205450ad97eb95a18d69c9ee"),
        whisperEntry("large-v3-turbo-q8_0", "ggml-large-v3-turbo-q8_0.bin", "Turbo v3 (q8)", 874,
                     "чуть точнее, больше памяти", "sha1:01bf15bedffe9f39d65c1b6ff9b687ea91f59e0e"),
        whisperEntry("large-v3-q5_0", "ggml-large-v3-q5_0.bin", "Large v3", 1082, "максимум качества, медленнее",
                     "sha1:e6e2ed78495d403bef4b7cff42ef4aaadcfea8de"),
        whisperEntry("medium-q5_0", "ggml-medium-q5_0.bin", "Medium", 539, "легче, качество ниже",
                     "sha1:7718d4c1ec62ca96998f058114db98236937490e"),
        whisperEntry("small", "ggml-small.bin", "Small", 466, "минимальные требования",
                     "sha1:55356645c2b361a969dfd0ef2c5a50d530afd8d5"),
        gigaamEntry(),
    };
}

const std::vector<RecognitionModel>& builtIn()
{
    static const std::vector<RecognitionModel> catalog = buildCatalog();
    return catalog;
}

} // namespace

QString RecognitionModel::urlBase() const
{
    return ModelHub::hubBase() + QLatin1Char('/') + repository + QStringLiteral("/resolve/") +
           (revision.isEmpty() ? QStringLiteral("main") : revision);
}

QStringList RecognitionModel::downloadFiles() const
{
    return engine == EngineKind::gigaam ? files : QStringList{file};
}

double RecognitionModel::downloadFileSizeMB(int index) const
{
    if (engine == EngineKind::whisper)
        return sizeMB;
    return index >= 0 && static_cast<size_t>(index) < fileSizesMB.size() ? fileSizesMB[index] : 0;
}

std::optional<ContentHash> RecognitionModel::downloadFileHash(int index) const
{
    return ContentHash::parse(hashes.value(index));
}

QString RecognitionModel::filePath(int index) const
{
    if (engine == EngineKind::whisper)
        return Paths::modelsDir() + QLatin1Char('/') + file;
    return location() + QLatin1Char('/') + files.value(index);
}

QString RecognitionModel::location() const
{
    return Paths::modelsDir() + QLatin1Char('/') + (engine == EngineKind::whisper ? file : id);
}

namespace ModelCatalog
{

std::vector<RecognitionModel> all()
{
    std::vector<RecognitionModel> catalog = builtIn();
    const std::vector<RecognitionModel> custom = CustomModels::entries();
    catalog.insert(catalog.end(), custom.begin(), custom.end());
    return catalog;
}

QString defaultModelID()
{
    const QString turbo = turboModelID();
    if (SettingsStore::shared().stringForKey(SettingsKey::language) != QStringLiteral("ru") ||
        WhisperGpu::accelerated())
        return turbo;
    // Whisper pads every request to 30 s of audio; on the processor alone Turbo takes longer than the speech.
    return ModelManager::isDownloaded(byID(turbo)) ? turbo : fastModelID();
}

void settleDefault()
{
    SettingsStore& settings = SettingsStore::shared();
    if (!settings.stringForKey(SettingsKey::modelID))
        settings.setString(SettingsKey::modelID, defaultModelID());
}

QString turboModelID()
{
    return QStringLiteral("large-v3-turbo-q5_0");
}

QString fastModelID()
{
    return QStringLiteral("gigaam-v3");
}

RecognitionModel byID(const QString& id)
{
    if (id.startsWith(CustomModels::idPrefix)) {
        if (std::optional<RecognitionModel> custom = CustomModels::entry(id))
            return *custom;
    }
    const std::vector<RecognitionModel>& catalog = builtIn();
    for (const RecognitionModel& model : catalog) {
        if (model.id == id)
            return model;
    }
    const QString fallback = defaultModelID();
    for (const RecognitionModel& model : catalog) {
        if (model.id == fallback)
            return model;
    }
    return catalog.front();
}

qint64 completeSizeThreshold(double nominalMB)
{
    return static_cast<qint64>(std::llround(nominalMB * 800000.0));
}

qint64 largestAcceptedSize(double nominalMB)
{
    return static_cast<qint64>(std::llround(nominalMB * 1100000.0)) + (1 << 20);
}

} // namespace ModelCatalog
