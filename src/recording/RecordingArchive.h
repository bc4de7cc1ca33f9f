#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Recordings whose recognition failed, or that were still waiting when the application quit, kept in
// $XDG_DATA_HOME/Tolvan/recordings so that no dictation is ever lost. Only the user can read them: the
// folder is 0700 and every file 0600. Any thread.
namespace RecordingArchive
{
constexpr int keptCount = 10;

QString directory();
// Writes the WAV under a name made of the UTC time and forgets the oldest beyond the ten newest. The file's
// path, or why it could not be written.
Result<QString> keep(const QByteArray& wav);
// A kept recording's WAV, or nothing (logged) when it cannot be read.
std::optional<QByteArray> read(const QString& path);
// The kept recordings, newest first.
QStringList files();
void remove(const QString& file);
} // namespace RecordingArchive
