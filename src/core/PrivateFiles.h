#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// Files that hold the user's speech or text (recordings, update images) are readable by the user alone:
// created 0600 inside a directory that is 0700. Any thread.
namespace PrivateFiles
{
inline constexpr QFileDevice::Permissions fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
inline constexpr QFileDevice::Permissions directoryMode = fileMode | QFileDevice::ExeOwner;

// Where short-lived private directories go: $XDG_RUNTIME_DIR when it is set, else the temporary directory.
QString temporaryBase();
// A new directory "tolvan-<purpose>-XXXXXX" of mode 0700 under temporaryBase() (the temporary directory
// when the runtime directory is unusable), removed with the object. Invalid, with the reason in its
// errorString(), when none could be made.
std::unique_ptr<QTemporaryDir> temporaryDirectory(const QString& purpose);
// Creates the directory and any missing parents, and makes it 0700 (an existing one too).
bool ensureDirectory(const QString& path);
// Writes a file that must not exist yet, created 0600.
Result<Done> writeNew(const QString& path, const QByteArray& bytes);
} // namespace PrivateFiles
