#pragma once

#include "downloads/ContentHash.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Which recognizer runs a model.
enum class EngineKind
{
    whisper,
    gigaam,
};

// One recognition model the application offers.
struct RecognitionModel
{
    QString id;
    // whisper: the model file's name; gigaam: the main file's path relative to the models directory.
    QString file;
    QString title;
    int sizeMB = 0;
    QString note;
    EngineKind engine = EngineKind::whisper;
    // gigaam: the files inside the model's own directory, in download order, with their nominal sizes.
    QStringList files;
    std::vector<double> fileSizesMB;
    // "owner/name" of the hub repository that holds the files, and the commit they are taken from (empty: the
    // repository's main branch, which its owner may change at any time).
    QString repository;
    QString revision;
    // The digest of each download file, in download order, as ContentHash reads it. A file with one may come from
    // the mirror as well, since whatever it delivers has to be the same bytes; a file without one is taken from
    // the hub alone, on its size.
    QStringList hashes;
    // A model file the user added: present while the file exists, whatever its size.
    bool userProvided = false;

    // The address a file name is appended to (after a "/"), on the model hub of the moment.
    QString urlBase() const;
    // The names of the files to download, in order.
    QStringList downloadFiles() const;
    // Nominal size of download file `index` in megabytes.
    double downloadFileSizeMB(int index) const;
    // The digest download file `index` has to have, if the catalog knows it.
    std::optional<ContentHash> downloadFileHash(int index) const;
    // Where download file `index` lives on disk.
    QString filePath(int index) const;
    // The model on disk: its file (whisper) or its directory (gigaam).
    QString location() const;
};

namespace ModelCatalog
{
// The offered models, in menu order: the built-in ones, then the user's own files as they are now.
std::vector<RecognitionModel> all();
// The entry with this identifier, or the default model's entry; never fails.
RecognitionModel byID(const QString& id);
// The model of a user who chose none: Turbo where whisper runs fast or for other languages than Russian; for
// Russian on a machine where whisper runs on the processor alone GigaAM-v3, unless Turbo (the default of earlier
// versions) is already on disk.
QString defaultModelID();
// On the first run: stores the default as the active model unless the user already chose one, so that models
// downloaded later do not change it.
void settleDefault();
// Whisper's Turbo, the recommended whisper model.
QString turboModelID();
// The fastest model for Russian on any machine.
QString fastModelID();
// A file counts as complete when it is larger than 80 % of its nominal size.
qint64 completeSizeThreshold(double nominalMB);
// A download is stopped once it grows past 110 % of its nominal size and a mebibyte.
qint64 largestAcceptedSize(double nominalMB);
} // namespace ModelCatalog
