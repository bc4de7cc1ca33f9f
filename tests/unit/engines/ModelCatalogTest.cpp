#include "engines/ModelCatalog.h"

#include "app/Paths.h"
#include "engines/ModelHub.h"
#include "engines/ModelManager.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

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

const WhisperModel& gigaam()
{
    return ModelCatalog::byID(QStringLiteral("gigaam-v3"));
}

// Every GigaAM file one byte over its threshold.
void makeCompleteGigaam()
{
    const WhisperModel& model = gigaam();
    for (int index = 0; index < model.files.size(); ++index)
        makeFile(model.filePath(index), ModelCatalog::completeSizeThreshold(model.fileSizesMB[index]) + 1);
}

} // namespace

TEST(ModelCatalog, OffersTheSixModelsInMenuOrder)
{
    QStringList ids;
    QStringList files;
    QList<int> sizes;
    for (const WhisperModel& model : ModelCatalog::all()) {
        ids.append(model.id);
        files.append(model.file);
        sizes.append(model.sizeMB);
    }
    EXPECT_EQ(ids, (QStringList{"large-v3-turbo-q5_0", "large-v3-turbo-q8_0", "large-v3-q5_0", "medium-q5_0", "small",
                                "gigaam-v3"}));
    EXPECT_EQ(files,
              (QStringList{"ggml-large-v3-turbo-q5_0.bin", "ggml-large-v3-turbo-q8_0.bin", "ggml-large-v3-q5_0.bin",
                           "ggml-medium-q5_0.bin", "ggml-small.bin", "gigaam-v3/encoder.int8.onnx"}));
    EXPECT_EQ(sizes, (QList<int>{574, 874, 1082, 539, 466, 222}));
    EXPECT_EQ(ModelCatalog::all().front().note, QStringLiteral("быстро и точно — рекомендуется"));
    EXPECT_EQ(gigaam().title, QStringLiteral("GigaAM-v3 (Сбер)"));
    EXPECT_EQ(gigaam().engine, EngineKind::gigaam);
    EXPECT_EQ(gigaam().files, (QStringList{"encoder.int8.onnx", "decoder.onnx", "joiner.onnx", "tokens.txt"}));
    EXPECT_EQ(gigaam().fileSizesMB, (std::vector<double>{214.3, 4.4, 2.6, 0.01}));
}

TEST(ModelCatalog, UnknownIdentifierFallsBackToTheDefaultModel)
{
    EXPECT_EQ(ModelCatalog::byID(QStringLiteral("large-v2")).id, QStringLiteral("large-v3-turbo-q5_0"));
    EXPECT_EQ(ModelCatalog::byID(QString()).id, QStringLiteral("large-v3-turbo-q5_0"));
    EXPECT_EQ(ModelCatalog::byID(QStringLiteral("small")).title, QStringLiteral("Small"));
}

TEST(ModelCatalog, DownloadAddressesFollowTheHubAndItsMirror)
{
    const WhisperModel& small = ModelCatalog::byID(QStringLiteral("small"));
    EXPECT_EQ(small.urlBase(), QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/main"));
    EXPECT_EQ(ModelHub::mirrored(small.urlBase() + "/ggml-small.bin"),
              QStringLiteral("https://hf-mirror.com/ggerganov/whisper.cpp/resolve/main/ggml-small.bin"));
    EXPECT_EQ(gigaam().urlBase(), QStringLiteral("https://huggingface.co/csukuangfj/"
                                                 "sherpa-onnx-nemo-transducer-punct-giga-am-v3-russian-2025-12-16/"
                                                 "resolve/main"));

    qputenv("TOLVAN_MODEL_HUB", "http://127.0.0.1:4001/");
    qputenv("TOLVAN_MODEL_MIRROR", "http://127.0.0.1:4002");
    EXPECT_EQ(small.urlBase(), QStringLiteral("http://127.0.0.1:4001/ggerganov/whisper.cpp/resolve/main"));
    EXPECT_EQ(ModelHub::mirrored(small.urlBase()),
              QStringLiteral("http://127.0.0.1:4002/ggerganov/whisper.cpp/resolve/main"));
    qunsetenv("TOLVAN_MODEL_HUB");
    qunsetenv("TOLVAN_MODEL_MIRROR");
}

TEST(ModelLayout, WhisperFileMustExceedEightyPercentOfItsNominalSize)
{
    TestEnvironment::freshHome();
    const WhisperModel& small = ModelCatalog::byID(QStringLiteral("small"));
    EXPECT_EQ(small.location(), Paths::modelsDir() + "/ggml-small.bin");
    EXPECT_FALSE(ModelManager::isDownloaded(small));
    makeFile(small.location(), 466LL * 800000);
    EXPECT_FALSE(ModelManager::isDownloaded(small));
    makeFile(small.location(), 466LL * 800000 + 1);
    EXPECT_TRUE(ModelManager::isDownloaded(small));
    EXPECT_FALSE(ModelManager::isDownloaded(ModelCatalog::byID(QStringLiteral("medium-q5_0"))));
}

TEST(ModelLayout, GigaamNeedsEveryFileOverItsOwnThreshold)
{
    TestEnvironment::freshHome();
    const WhisperModel& model = gigaam();
    EXPECT_EQ(model.location(), Paths::modelsDir() + "/gigaam-v3");
    EXPECT_EQ(model.filePath(3), Paths::modelsDir() + "/gigaam-v3/tokens.txt");
    makeCompleteGigaam();
    EXPECT_TRUE(ModelManager::isDownloaded(model));

    const QList<QPair<QString, qint64>> thresholds{
        {"tokens.txt", 8000}, {"joiner.onnx", 2080000}, {"decoder.onnx", 3520000}, {"encoder.int8.onnx", 171440000}};
    for (const auto& [name, threshold] : thresholds) {
        const QString path = model.location() + "/" + name;
        makeFile(path, threshold);
        EXPECT_FALSE(ModelManager::isDownloaded(model)) << name.toStdString();
        makeFile(path, threshold + 1);
        EXPECT_TRUE(ModelManager::isDownloaded(model)) << name.toStdString();
    }
    QFile::remove(model.location() + "/joiner.onnx");
    EXPECT_FALSE(ModelManager::isDownloaded(model));
}

TEST(ModelLayout, DiskUsageCountsEveryFileAndDeletionRemovesTheWholeModel)
{
    TestEnvironment::freshHome();
    EXPECT_EQ(ModelManager::diskUsageBytes(), 0);
    makeCompleteGigaam();
    makeFile(Paths::modelsDir() + "/ggml-small.bin", 1000);
    makeFile(Paths::modelsDir() + "/advisor/.hidden.gguf", 500);
    const qint64 gigaamBytes = 171440001 + 3520001 + 2080001 + 8001;
    EXPECT_EQ(ModelManager::diskUsageBytes(), gigaamBytes + 1500);

    ModelManager manager;
    manager.remove(gigaam());
    EXPECT_FALSE(QFileInfo::exists(gigaam().location()));
    EXPECT_EQ(ModelManager::diskUsageBytes(), 1500);
    manager.remove(ModelCatalog::byID(QStringLiteral("small")));
    EXPECT_EQ(ModelManager::diskUsageBytes(), 500);
}

TEST(DownloadProgress, WhisperFractionUsesTheNominalSizeWhenTheLengthIsUnknown)
{
    const WhisperModel& small = ModelCatalog::byID(QStringLiteral("small"));
    EXPECT_DOUBLE_EQ(ModelManager::fraction(small, 0, 233000000, -1), 0.5);
    EXPECT_DOUBLE_EQ(ModelManager::fraction(small, 0, 50, 200), 0.25);
    EXPECT_DOUBLE_EQ(ModelManager::fraction(small, 0, 600000000, -1), 1.0);
}

TEST(DownloadProgress, GigaamFilesWeighByTheirNominalSizes)
{
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
