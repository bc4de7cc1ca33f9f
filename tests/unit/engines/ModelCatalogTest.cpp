#include "engines/ModelCatalog.h"

#include "core/Paths.h"
#include "engines/CustomModels.h"
#include "engines/ModelHub.h"
#include "engines/ModelManager.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <tuple>

namespace
{

// A file of the given apparent size; sparse, so large model files cost no disk space.
void makeFile(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(size));
}

WhisperModel gigaam()
{
    return ModelCatalog::byID(QStringLiteral("gigaam-v3"));
}

WhisperModel small()
{
    return ModelCatalog::byID(QStringLiteral("small"));
}

} // namespace

TEST(ModelCatalog, UnknownIdentifierFallsBackToTheDefaultModel)
{
    EXPECT_EQ(ModelCatalog::byID(QStringLiteral("large-v2")).id, QStringLiteral("large-v3-turbo-q5_0"));
    EXPECT_EQ(ModelCatalog::byID(QString()).id, QStringLiteral("large-v3-turbo-q5_0"));
}

TEST(ModelCatalog, DownloadAddressesFollowTheHubAndItsMirror)
{
    EXPECT_EQ(small().urlBase(), QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/main"));
    EXPECT_EQ(ModelHub::mirrored(small().urlBase() + "/ggml-small.bin"),
              QStringLiteral("https://hf-mirror.com/ggerganov/whisper.cpp/resolve/main/ggml-small.bin"));
    EXPECT_EQ(gigaam().urlBase(), QStringLiteral("https://huggingface.co/csukuangfj/"
                                                 "sherpa-onnx-nemo-transducer-punct-giga-am-v3-russian-2025-12-16/"
                                                 "resolve/main"));

    qputenv("TOLVAN_MODEL_HUB", "http://127.0.0.1:4001/");
    qputenv("TOLVAN_MODEL_MIRROR", "http://127.0.0.1:4002");
    EXPECT_EQ(small().urlBase(), QStringLiteral("http://127.0.0.1:4001/ggerganov/whisper.cpp/resolve/main"));
    EXPECT_EQ(ModelHub::mirrored(small().urlBase()),
              QStringLiteral("http://127.0.0.1:4002/ggerganov/whisper.cpp/resolve/main"));
    qunsetenv("TOLVAN_MODEL_HUB");
    qunsetenv("TOLVAN_MODEL_MIRROR");
}

TEST(ModelLayout, WhisperFileMustExceedEightyPercentOfItsNominalSize)
{
    TestEnvironment::freshHome();
    EXPECT_EQ(small().location(), Paths::modelsDir() + "/ggml-small.bin");
    EXPECT_FALSE(ModelManager::isDownloaded(small()));
    makeFile(small().location(), 466LL * 800000);
    EXPECT_FALSE(ModelManager::isDownloaded(small()));
    makeFile(small().location(), 466LL * 800000 + 1);
    EXPECT_TRUE(ModelManager::isDownloaded(small()));
    EXPECT_FALSE(ModelManager::isDownloaded(ModelCatalog::byID(QStringLiteral("medium-q5_0"))));
}

TEST(ModelLayout, GigaamNeedsEveryFileOverItsOwnThresholdAndDeletionRemovesItAll)
{
    TestEnvironment::freshHome();
    const WhisperModel& model = gigaam();
    EXPECT_EQ(model.location(), Paths::modelsDir() + "/gigaam-v3");
    EXPECT_EQ(model.filePath(3), Paths::modelsDir() + "/gigaam-v3/tokens.txt");
    EXPECT_EQ(ModelManager::diskUsageBytes(), 0);
    const QList<QPair<QString, qint64>> thresholds{
        {"tokens.txt", 8000}, {"joiner.onnx", 2080000}, {"decoder.onnx", 3520000}, {"encoder.int8.onnx", 171440000}};
    for (const auto& [name, threshold] : thresholds)
        makeFile(model.location() + "/" + name, threshold + 1);
    EXPECT_TRUE(ModelManager::isDownloaded(model));
    for (const auto& [name, threshold] : thresholds) {
        const QString path = model.location() + "/" + name;
        makeFile(path, threshold);
        EXPECT_FALSE(ModelManager::isDownloaded(model)) << name.toStdString();
        makeFile(path, threshold + 1);
        EXPECT_TRUE(ModelManager::isDownloaded(model)) << name.toStdString();
    }
    QFile::remove(model.location() + "/joiner.onnx");
    EXPECT_FALSE(ModelManager::isDownloaded(model));
    makeFile(model.location() + "/joiner.onnx", 2080001);

    // Disk usage counts every model file, hidden ones included.
    makeFile(Paths::modelsDir() + "/ggml-small.bin", 1000);
    makeFile(Paths::modelsDir() + "/advisor/.hidden.gguf", 500);
    EXPECT_EQ(ModelManager::diskUsageBytes(), 171440001 + 3520001 + 2080001 + 8001 + 1500);
    ModelManager manager;
    manager.remove(model);
    EXPECT_FALSE(QFileInfo::exists(model.location()));
    EXPECT_FALSE(ModelManager::isDownloaded(model));
    EXPECT_EQ(ModelManager::diskUsageBytes(), 1500);
    manager.remove(small());
    EXPECT_EQ(ModelManager::diskUsageBytes(), 500);
}

TEST(DownloadProgress, FilesWeighByTheirNominalSizesWhenTheLengthIsUnknown)
{
    EXPECT_DOUBLE_EQ(ModelManager::fraction(small(), 0, 233000000, -1), 0.5);
    EXPECT_DOUBLE_EQ(ModelManager::fraction(small(), 0, 50, 200), 0.25);
    EXPECT_DOUBLE_EQ(ModelManager::fraction(small(), 0, 600000000, -1), 1.0);

    const WhisperModel& model = gigaam();
    EXPECT_DOUBLE_EQ(ModelManager::completedWeight(model, 0), 0);
    EXPECT_NEAR(ModelManager::completedWeight(model, 1), 214.3 / 221.31, 1e-12);
    const double halfOfDecoder = ModelManager::fraction(model, 1, 2200000, 4400000);
    EXPECT_NEAR(halfOfDecoder, (214.3 + 4.4 * 0.5) / 221.31, 1e-12);
    EXPECT_NEAR(halfOfDecoder, 0.978, 0.0005);
    // Unknown length: the nominal size stands in, and a file never counts more than its weight.
    EXPECT_NEAR(ModelManager::fraction(model, 1, 2200000, -1), halfOfDecoder, 1e-12);
    EXPECT_NEAR(ModelManager::fraction(model, 1, 99000000, -1), (214.3 + 4.4) / 221.31, 1e-12);
    EXPECT_DOUBLE_EQ(ModelManager::fraction(model, 3, 10000, 10000), 1.0);
}

TEST(CustomModels, EveryBinFileInTheFolderFollowsTheBuiltInModelsWhateverItsSize)
{
    const std::vector<WhisperModel> builtIn = ModelCatalog::all();
    makeFile(CustomModels::directory() + QStringLiteral("/ru-finetune.bin"), 1'499'999);
    makeFile(CustomModels::directory() + QStringLiteral("/notes.txt"), 10);
    makeFile(CustomModels::directory() + QStringLiteral("/.half-copied.bin.part"), 10);
    const std::vector<WhisperModel> catalog = ModelCatalog::all();
    ASSERT_EQ(catalog.size(), builtIn.size() + 1);
    const WhisperModel& own = catalog.back();
    EXPECT_EQ(own.id, QStringLiteral("custom:ru-finetune.bin"));
    EXPECT_EQ(own.title, QStringLiteral("ru-finetune"));
    EXPECT_EQ(own.sizeMB, 1);
    EXPECT_EQ(own.engine, EngineKind::whisper);
    EXPECT_EQ(own.filePath(0), CustomModels::directory() + QStringLiteral("/ru-finetune.bin"));
    EXPECT_TRUE(ModelManager::isDownloaded(own)) << "present without the 80 % rule";

    // Written by hand into the settings, the identifier finds the file; anything else is the default model.
    for (const auto& [id, found] : {std::pair{"custom:ru-finetune.bin", "custom:ru-finetune.bin"},
                                    {"custom:gone.bin", "large-v3-turbo-q5_0"},
                                    {"custom:../models/ggml-small.bin", "large-v3-turbo-q5_0"},
                                    {"custom:notes.txt", "large-v3-turbo-q5_0"}})
        EXPECT_EQ(ModelCatalog::byID(QString::fromUtf8(id)).id, QString::fromUtf8(found)) << id;

    ModelManager().remove(own);
    EXPECT_FALSE(QFile::exists(own.location()));
    EXPECT_EQ(ModelCatalog::all().size(), builtIn.size());
}

TEST(CustomModels, AddingTakesOnlyGgmlFilesAndNeverOverwrites)
{
    const QString folder = TestEnvironment::makeDirectory(QStringLiteral("picked"));
    const auto file = [&](const char* name, const QByteArray& start) {
        const QString path = folder + u'/' + QString::fromUtf8(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(start) == start.size());
        return path;
    };
    const Result<WhisperModel> added = CustomModels::add(file("tiny-ru", "lmgg and the rest of a model"));
    ASSERT_TRUE(added.ok()) << added.error().description().toStdString();
    EXPECT_EQ(added.value().id, QStringLiteral("custom:tiny-ru.bin")) << "named .bin so that it is found again";
    EXPECT_TRUE(QFile::exists(CustomModels::directory() + QStringLiteral("/tiny-ru.bin")));

    for (const auto& [name, start, reason] :
         {std::tuple{"tiny-ru.bin", QByteArray("lmgg"), "Модель «tiny-ru» уже добавлена."},
          {"model.gguf", QByteArray("GGUF"),
           "«model.gguf» — не модель whisper.cpp: файл не начинается с сигнатуры ggml."},
          {"short.bin", QByteArray("lm"),
           "«short.bin» — не модель whisper.cpp: файл не начинается с сигнатуры ggml."}}) {
        const Result<WhisperModel> refused = CustomModels::add(file(name, start));
        ASSERT_FALSE(refused.ok()) << name;
        EXPECT_EQ(refused.error().description(), QString::fromUtf8(reason));
    }
    EXPECT_EQ(CustomModels::add(folder + QStringLiteral("/missing.bin")).error().description(),
              QStringLiteral("Файл «missing.bin» не найден."));
    EXPECT_EQ(CustomModels::entries().size(), 1U);
}

TEST(ModelLayout, LeftoversOfInterruptedDownloadsAreNotCountedAndGoWhenTheManagerStarts)
{
    TestEnvironment::freshHome();
    const QString models = Paths::modelsDir();
    const QStringList kept{"ggml-small.bin", "gigaam-v3/tokens.txt", "advisor/.hidden.gguf", "notes.v2.txt"};
    for (const QString& name : kept)
        makeFile(models + "/" + name, 100);
    // What a download streams into before it is renamed, left by a quit, crash or kill.
    const QStringList partial{"ggml-small.bin.qWeRtY", "gigaam-v3/encoder.int8.onnx.AbCdEf",
                              "advisor/Qwen3-4B-Instruct-2507-Q4_K_M.gguf.XyZabc"};
    for (const QString& name : partial)
        makeFile(models + "/" + name, 700'000'000);
    EXPECT_EQ(ModelManager::diskUsageBytes(), 400);

    const ModelManager manager;
    for (const QString& name : partial)
        EXPECT_FALSE(QFileInfo::exists(models + "/" + name)) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(models + "/" + name)) << name.toStdString();
    EXPECT_EQ(ModelManager::diskUsageBytes(), 400);
}
