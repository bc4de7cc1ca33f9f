#pragma once

#include "core/Error.h"
#include "core/Result.h"
#include "engines/ModelCatalog.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class FileDownload;

// Owns the models directory: downloads catalog models file by file from the model hub (falling back to
// its mirror once per failing file whose digest the catalog knows), tells whether a model is present,
// measures and deletes them. Lives on the main thread; isDownloaded and diskUsageBytes may be called from
// any thread.
class ModelManager : public QObject
{
    Q_OBJECT

public:
    static ModelManager& shared();

    // Removes what interrupted downloads of earlier runs left in the models directory.
    ModelManager();
    ~ModelManager() override;

    // Starts downloading the model unless it is already downloading.
    void download(const RecognitionModel& model);
    // Removes the model from disk.
    void remove(const RecognitionModel& model);
    // The models being downloaded and how far they are.
    const QHash<QString, double>& progress() const { return progress_; }

    static bool isDownloaded(const RecognitionModel& model);
    // Total size of the files under the models directory, downloads still arriving (or abandoned) aside.
    static qint64 diskUsageBytes();

    // The model's overall fraction while file `fileIndex` has `received` of `expected` bytes (expected < 1:
    // unknown, the nominal size stands in).
    static double fraction(const RecognitionModel& model, int fileIndex, qint64 received, qint64 expected);
    // The weight of the files before `fileIndex`.
    static double completedWeight(const RecognitionModel& model, int fileIndex);

signals:
    // Every change of a download's progress (fraction 0…1).
    void progressChanged(const QString& modelID, double fraction);
    // Once when a model's download ends; no error means success.
    void downloadFinished(const QString& modelID, const std::optional<Error>& error);

private:
    struct Task
    {
        RecognitionModel model;
        bool mirror = false;
        int fileIndex = 0;
        QPointer<FileDownload> transfer;
    };

    void startFile(const RecognitionModel& model, bool mirror, int fileIndex);
    void fileFinished(const QString& modelID, const Result<qint64>& arrived, bool fromMirror);
    void finishModel(const QString& modelID, const std::optional<Error>& error);
    void reportProgress(const QString& modelID, double fraction);

    QNetworkAccessManager network_;
    QHash<QString, double> progress_;
    QHash<QString, Task> tasks_;
};
