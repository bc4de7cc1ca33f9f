#pragma once

#include "core/Result.h"
#include "engines/ModelCatalog.h"

#include <QString>

#include <optional>
#include <vector>

// The user's own whisper.cpp model files, kept in $XDG_DATA_HOME/Tolvan/models/custom. Each "*.bin" there
// is a catalog entry "custom:" + its file name, titled by the name without ".bin".
namespace CustomModels
{
inline const QString idPrefix = QStringLiteral("custom:");

QString directory();
// The entries of the files there now, by file name.
std::vector<WhisperModel> entries();
// The entry for an identifier "custom:NAME.bin" while that file exists.
std::optional<WhisperModel> entry(const QString& id);
// Hard-links the file into the folder, or copies it when it lives on another file system. Refuses a file
// that does not start with the magic number of whisper.cpp's ggml models, or whose name is taken; the
// error's description says why.
Result<WhisperModel> add(const QString& path);
} // namespace CustomModels
