#include "engines/ModelCatalog.h"

#include "core/Paths.h"
#include "engines/CustomModels.h"
#include "engines/ModelManager.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

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
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
}

} // namespace

TEST(ModelLayout, EveryFileMustExceedEightyPercentOfItsNominalSizeAndLeftoversAndDeletedModelsAreGone)
{
    const RecognitionModel small = ModelCatalog::byID(QStringLiteral("small"));
    const RecognitionModel gigaam = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    const QString models = Paths::modelsDir();
    const struct
    {
        RecognitionModel model;
        QString file;
        qint64 threshold;
    } files[] = {{small, "ggml-small.bin", 466LL * 800000},
                 {gigaam, "gigaam-v3/tokens.txt", 8000},
                 {gigaam, "gigaam-v3/joiner.onnx", 2080000},
                 {gigaam, "gigaam-v3/decoder.onnx", 3520000},
                 {gigaam, "gigaam-v3/encoder.int8.onnx", 171440000}};
    for (const auto& [model, file, threshold] : files)
        makeFile(models + "/" + file, threshold + 1);
    for (const auto& [model, file, threshold] : files) {
        makeFile(models + "/" + file, threshold);
        EXPECT_FALSE(ModelManager::isDownloaded(model)) << file.toStdString();
        makeFile(models + "/" + file, threshold + 1);
        EXPECT_TRUE(ModelManager::isDownloaded(model)) << file.toStdString();
    }

    // Disk usage counts every model file, hidden ones included, but not what a download streams into before its
    // rename (left by a quit, crash or kill); those go when a manager starts.
    makeFile(models + "/advisor/.hidden.gguf", 500);
    makeFile(models + "/notes.v2.txt", 100);
    const QStringList partial{"ggml-small.bin.qWeRtY", "gigaam-v3/encoder.int8.onnx.AbCdEf",
                              "advisor/Qwen3-4B-Instruct-2507-Q4_K_M.gguf.XyZabc"};
    for (const QString& name : partial)
        makeFile(models + "/" + name, 700'000'000);
    EXPECT_EQ(ModelManager::diskUsageBytes(), 466LL * 800000 + 1 + 171440001 + 3520001 + 2080001 + 8001 + 600);
    ModelManager manager;
    for (const QString& name : partial)
        EXPECT_FALSE(QFileInfo::exists(models + "/" + name)) << name.toStdString();
    manager.remove(gigaam);
    EXPECT_FALSE(QFileInfo::exists(gigaam.location()));
    manager.remove(small);
    EXPECT_EQ(ModelManager::diskUsageBytes(), 600);
}

TEST(CustomModels, GgmlFilesInTheFolderFollowTheBuiltInModelsAndATakenNameIsReplacedOnlyWhenAsked)
{
    const size_t builtIn = ModelCatalog::all().size();
    const QString folder = TestEnvironment::makeDirectory(QStringLiteral("picked"));
    const auto add = [&](const QString& name, const QByteArray& start) {
        return CustomModels::add(TestFiles::write(folder + u'/' + name, start));
    };
    ASSERT_TRUE(add("ru-finetune", "lmgg and the rest of a model").ok());
    makeFile(CustomModels::directory() + "/.half-copied.bin.part", 10);
    makeFile(CustomModels::directory() + "/notes.txt", 10);
    const RecognitionModel own = ModelCatalog::all().back();
    EXPECT_EQ(ModelCatalog::all().size(), builtIn + 1);
    // Named .bin so that it is found again; present without the 80 % rule.
    EXPECT_EQ(own.id, QStringLiteral("custom:ru-finetune.bin"));
    EXPECT_EQ(own.title, QStringLiteral("ru-finetune"));
    EXPECT_TRUE(ModelManager::isDownloaded(own));

    // An identifier written by hand into the settings finds the file; anything else is the default model, for
    // Russian on this machine without a GPU build of whisper GigaAM-v3.
    for (const auto& [id, found] : {std::pair{"custom:ru-finetune.bin", "custom:ru-finetune.bin"},
                                    {"custom:gone.bin", "gigaam-v3"},
                                    {"custom:../models/ggml-small.bin", "gigaam-v3"},
                                    {"large-v2", "gigaam-v3"},
                                    {"custom:notes.txt", "gigaam-v3"}})
        EXPECT_EQ(ModelCatalog::byID(QString::fromUtf8(id)).id, QString::fromUtf8(found)) << id;

    const Result<RecognitionModel> taken = add(QStringLiteral("ru-finetune.bin"), "lmgg, a newer one");
    EXPECT_EQ(taken.error().code(), CustomModels::nameTakenCode);
    EXPECT_EQ(taken.error().description(), QStringLiteral("Модель «ru-finetune» уже есть в списке."));
    EXPECT_EQ(TestFiles::read(own.location()), "lmgg and the rest of a model");
    ASSERT_TRUE(CustomModels::add(folder + "/ru-finetune.bin", true).ok());
    EXPECT_EQ(TestFiles::read(own.location()), "lmgg, a newer one");

    // A relative symbolic link is followed: the model is the file it points to.
    ASSERT_TRUE(QFile::link(QStringLiteral("ru-finetune.bin"), folder + "/link-to-finetune.bin"));
    const Result<RecognitionModel> linked = CustomModels::add(folder + "/link-to-finetune.bin");
    ASSERT_TRUE(linked.ok()) << linked.error().description().toStdString();
    EXPECT_FALSE(QFileInfo(linked.value().location()).isSymLink());
    EXPECT_EQ(TestFiles::read(linked.value().location()), "lmgg, a newer one");
    EXPECT_TRUE(ModelManager::isDownloaded(linked.value()));
    EXPECT_EQ(CustomModels::add(folder + "/missing.bin").error().description(),
              QStringLiteral("Файл «missing.bin» не найден."));
    EXPECT_EQ(ModelCatalog::all().size(), builtIn + 2);
}

TEST(ModelCatalogDigests, EveryBuiltInFileIsTakenFromAFixedCommitAndCarriesADigest)
{
    for (const RecognitionModel& model : ModelCatalog::all()) {
        // The user's own files are his choice, checked for size and format alone; GigaAM's digests are not pinned yet.
        if (model.userProvided || model.engine == EngineKind::gigaam)
            continue;
        EXPECT_EQ(model.revision.size(), 40) << model.id.toStdString();
        const QStringList files = model.downloadFiles();
        ASSERT_EQ(model.hashes.size(), files.size()) << model.id.toStdString();
        for (int index = 0; index < files.size(); ++index)
            EXPECT_TRUE(model.downloadFileHash(index)) << files[index].toStdString();
    }
}
