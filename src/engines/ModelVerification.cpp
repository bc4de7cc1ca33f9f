#include "engines/ModelVerification.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "downloads/ContentHash.h"
#include "engines/ModelManager.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <memory>

namespace
{

struct PinnedFile
{
    RecognitionModel model;
    int index = 0;
    QString path;
    QString digest;
};

// "<file name>:<size>:<digest>": the same file checked against the same digest; a replaced file differs in size
// or is checked again after its download remembered it.
QString recordOf(const PinnedFile& file)
{
    return QStringLiteral("%1:%2:%3")
        .arg(QFileInfo(file.path).fileName(), QString::number(QFileInfo(file.path).size()), file.digest);
}

std::vector<PinnedFile> unchecked(const std::vector<RecognitionModel>& models)
{
    const QStringList checked = SettingsStore::shared().stringArrayForKey(SettingsKey::verifiedModelFiles);
    std::vector<PinnedFile> files;
    for (const RecognitionModel& model : models) {
        if (model.userProvided || !ModelManager::isDownloaded(model))
            continue;
        for (int index = 0; index < model.downloadFiles().size(); ++index) {
            const QString digest = model.hashes.value(index);
            PinnedFile file{model, index, model.filePath(index), digest};
            if (ContentHash::parse(digest) && !checked.contains(recordOf(file)))
                files.push_back(file);
        }
    }
    return files;
}

bool matches(const PinnedFile& file)
{
    const std::optional<ContentHash> expected = ContentHash::parse(file.digest);
    QFile contents(file.path);
    QCryptographicHash hash(expected->algorithm());
    return contents.open(QIODevice::ReadOnly) && hash.addData(&contents) && expected->matches(hash.resultView());
}

void rememberRecord(const QString& record)
{
    SettingsStore& settings = SettingsStore::shared();
    QStringList checked = settings.stringArrayForKey(SettingsKey::verifiedModelFiles);
    if (!checked.contains(record))
        settings.setStringArray(SettingsKey::verifiedModelFiles, checked << record);
}

} // namespace

namespace ModelVerification
{

void remember(const RecognitionModel& model, int fileIndex)
{
    const QString digest = model.hashes.value(fileIndex);
    if (ContentHash::parse(digest))
        rememberRecord(recordOf(PinnedFile{model, fileIndex, model.filePath(fileIndex), digest}));
}

int checkOnce(const std::vector<RecognitionModel>& models, QObject* context,
              std::function<void(const RecognitionModel& model)> mismatched)
{
    std::vector<PinnedFile> files = unchecked(models);
    const int count = static_cast<int>(files.size());
    if (files.empty())
        return 0;
    QThreadPool::globalInstance()->start(
        [files = std::move(files), context = QPointer<QObject>(context), mismatched = std::move(mismatched)] {
            for (const PinnedFile& file : files) {
                const bool good = matches(file);
                MainThread::post([file, good, context, mismatched] {
                    if (good) {
                        rememberRecord(recordOf(file));
                        return;
                    }
                    QFile::remove(file.path);
                    Log::info(QStringLiteral("Файл модели «%1» не совпал с закреплённой контрольной суммой и удалён")
                                  .arg(QFileInfo(file.path).fileName()));
                    if (context && mismatched)
                        mismatched(file.model);
                });
            }
        });
    return count;
}

} // namespace ModelVerification
