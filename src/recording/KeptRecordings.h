#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The recordings kept for a later recognition: the files of RecordingArchive and, while they cannot be written
// there (a full disk, a folder that cannot be written), copies in memory. Every later keep writes those first,
// and quitting tries once more, so that a recording is lost only when even that fails, which the log says.
// Main thread only.
class KeptRecordings
{
public:
    // Writes the recording after those waiting in memory, or keeps it in memory too. Its file, or why not.
    Result<QString> keep(const QByteArray& wav);
    // On disk and in memory.
    int count() const;
    // The newest recording waiting in memory, taken out of it.
    std::optional<QByteArray> takeNewestUnwritten();
    // When the application quits: writes these and every recording waiting in memory.
    void keepAtQuit(std::vector<QByteArray> unfinished);

private:
    // Writes what waits in memory, oldest first, until a write fails: the path of the last one written (empty when
    // none waited), or why not.
    Result<QString> writeWaiting();

    // Oldest first.
    std::vector<QByteArray> unwritten_;
};
