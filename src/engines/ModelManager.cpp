#include "engines/ModelManager.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "downloads/FileDownload.h"
#include "engines/ModelHub.h"
#include "engines/ModelVerification.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <numeric>

namespace
{

double totalWeight(const RecognitionModel& model)
{
    return std::accumulate(model.fileSizesMB.begin(), model.fileSizesMB.end(), 0.0);
}

double ratio(qint64 received, double whole)
{
    return whole > 0 ? static_cast<double>(received) / whole : 0;
}

bool isFileComplete(const QString& path, double nominalMB)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > ModelCatalog::completeSizeThreshold(nominalMB);
}

QDirIterator everyFile()
{
    return QDirIterator(Paths::modelsDir(), QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
}

// What a quit, crash or kill in the middle of a download left behind: up to a gigabyte each.
void removePartialDownloads()
{
    QDirIterator entries = everyFile();
    while (entries.hasNext()) {
        entries.next();
        if (!FileDownload::isPartialFile(entries.fileName()))
            continue;
        if (QFile::remove(entries.filePath()))
            Log::info(QStringLiteral("Удалён остаток прерванной загрузки: ") + entries.filePath());
    }
}

// The mirror is asked only for a file whose digest is known: it could hand out any bytes at all, and only the
// digest tells whether they are the hub's.
QList<QUrl> sources(const QUrl& hub, const QUrl& mirror, bool mirrorFirst, bool hashKnown)
{
    if (!hashKnown)
        return {hub};
    return mirrorFirst ? QList<QUrl>{mirror} : QList<QUrl>{hub, mirror};
}

} // namespace

ModelManager& ModelManager::shared()
{
    // Kept for the life of the process; never destroyed after the application object.
    static ModelManager* const instance = new ModelManager;
    return *instance;
}

ModelManager::ModelManager()
{
    QDir().mkpath(Paths::modelsDir());
    removePartialDownloads();
}

ModelManager::~ModelManager()
{
    for (const Task& task : std::as_const(tasks_)) {
        if (task.transfer)
            task.transfer->cancel();
    }
}

void ModelManager::download(const RecognitionModel& model)
{
    if (progress_.contains(model.id) || tasks_.contains(model.id))
        return;
    startFile(model, false, 0);
}

void ModelManager::startFile(const RecognitionModel& model, bool mirror, int fileIndex)
{
    const QString name = model.downloadFiles().value(fileIndex);
    const QString hubAddress = model.urlBase() + QLatin1Char('/') + name;
    const QUrl hubUrl(hubAddress, QUrl::StrictMode);
    const QUrl mirrorUrl(ModelHub::mirrored(hubAddress), QUrl::StrictMode);
    if (name.isEmpty() || !hubUrl.isValid() || !mirrorUrl.isValid() || hubUrl.isRelative())
        return;
    const std::optional<ContentHash> hash = model.downloadFileHash(fileIndex);
    const double sizeMB = model.downloadFileSizeMB(fileIndex);
    auto* transfer = new FileDownload(
        &network_, sources(hubUrl, mirrorUrl, mirror, hash.has_value()), model.filePath(fileIndex),
        {ModelCatalog::completeSizeThreshold(sizeMB), ModelCatalog::largestAcceptedSize(sizeMB)}, this);
    if (hash)
        transfer->expectHash(*hash);
    const QString id = model.id;
    tasks_.insert(id, Task{model, mirror, fileIndex, transfer});

    transfer->onSourceStarted = [this, id, name, mirror, fileIndex](int sourceIndex) {
        const bool fromMirror = mirror || sourceIndex > 0;
        tasks_[id].mirror = fromMirror;
        Log::info(QStringLiteral("Загрузка %1: %2 из %3")
                      .arg(id, name, fromMirror ? QStringLiteral("зеркала") : QStringLiteral("HF")));
        const double start = completedWeight(tasks_[id].model, fileIndex);
        progress_.insert(id, start);
        reportProgress(id, start);
    };
    transfer->onSourceFailed = [this, id](int, const Error& error) {
        progress_.remove(id);
        Log::info(QStringLiteral("HF недоступен (%1) — пробую зеркало").arg(error.description()));
    };
    transfer->onProgress = [this, id, fileIndex](qint64 received, qint64 expected) {
        const auto task = tasks_.constFind(id);
        if (task == tasks_.constEnd())
            return;
        const double value = fraction(task->model, fileIndex, received, expected);
        progress_.insert(id, value);
        reportProgress(id, value);
    };
    transfer->onFinished = [this, id, transfer](const Result<FileDownload::Arrived>& result) {
        transfer->deleteLater();
        const bool fromMirror = tasks_.value(id).mirror;
        if (result)
            fileFinished(id, result.value().bytes, fromMirror);
        else
            fileFinished(id, result.error(), fromMirror);
    };
    transfer->start();
}

void ModelManager::fileFinished(const QString& modelID, const Result<qint64>& arrived, bool fromMirror)
{
    const Task task = tasks_.take(modelID);
    if (!arrived) {
        finishModel(modelID, arrived.error());
        return;
    }
    const QString destination = task.model.filePath(task.fileIndex);
    Log::info(QStringLiteral("Модель %1: файл %2 загружен (%3 байт)")
                  .arg(modelID, QFileInfo(destination).fileName(), QString::number(arrived.value())));
    // Hashed as it arrived: never read again to check it.
    ModelVerification::remember(task.model, task.fileIndex);
    if (task.model.engine == EngineKind::gigaam && task.fileIndex + 1 < task.model.files.size()) {
        startFile(task.model, fromMirror, task.fileIndex + 1);
        return;
    }
    if (isDownloaded(task.model))
        finishModel(modelID, std::nullopt);
    else
        finishModel(modelID, Error::tolvan(2, QStringLiteral("загрузка не завершилась")));
}

void ModelManager::finishModel(const QString& modelID, const std::optional<Error>& error)
{
    progress_.remove(modelID);
    emit downloadFinished(modelID, error);
}

void ModelManager::reportProgress(const QString& modelID, double value)
{
    emit progressChanged(modelID, value);
}

void ModelManager::remove(const RecognitionModel& model)
{
    if (model.engine == EngineKind::gigaam)
        QDir(model.location()).removeRecursively();
    else
        QFile::remove(model.location());
    Log::info(QStringLiteral("Модель %1 удалена с диска").arg(model.id));
}

bool ModelManager::isDownloaded(const RecognitionModel& model)
{
    if (model.userProvided)
        return QFileInfo(model.location()).isFile();
    if (model.engine == EngineKind::whisper)
        return isFileComplete(model.location(), model.sizeMB);
    if (model.files.isEmpty() || model.fileSizesMB.size() != static_cast<size_t>(model.files.size()))
        return false;
    for (qsizetype index = 0; index < model.files.size(); ++index) {
        if (!isFileComplete(model.filePath(static_cast<int>(index)), model.fileSizesMB[index]))
            return false;
    }
    return true;
}

qint64 ModelManager::diskUsageBytes()
{
    qint64 total = 0;
    QDirIterator entries = everyFile();
    while (entries.hasNext()) {
        entries.next();
        if (!FileDownload::isPartialFile(entries.fileName()))
            total += std::max<qint64>(entries.fileInfo().size(), 0);
    }
    return total;
}

double ModelManager::completedWeight(const RecognitionModel& model, int fileIndex)
{
    if (model.engine == EngineKind::whisper)
        return 0;
    const double total = totalWeight(model);
    if (total <= 0)
        return 0;
    const auto end = model.fileSizesMB.begin() + std::clamp<qsizetype>(fileIndex, 0, model.fileSizesMB.size());
    return std::accumulate(model.fileSizesMB.begin(), end, 0.0) / total;
}

double ModelManager::fraction(const RecognitionModel& model, int fileIndex, qint64 received, qint64 expected)
{
    double value = 0;
    if (model.engine == EngineKind::whisper) {
        value = ratio(received, expected >= 1 ? static_cast<double>(expected) : model.sizeMB * 1e6);
    } else {
        const double size = model.downloadFileSizeMB(fileIndex);
        const double fileFraction =
            std::min(ratio(received, expected >= 1 ? static_cast<double>(expected) : size * 1e6), 1.0);
        value = completedWeight(model, fileIndex) + size * fileFraction / std::max(totalWeight(model), 0.001);
    }
    return std::min(value, 1.0);
}
