#pragma once

#include "core/Result.h"
#include "engines/ModelCatalog.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The user's own whisper.cpp model files, kept in $XDG_DATA_HOME/Tolvan/models/custom. Each "*.bin" there
// is a catalog entry "custom:" + its file name, titled by the name without ".bin".
namespace CustomModels
{
inline const QString idPrefix = QStringLiteral("custom:");

QString directory();
// The entries of the files there now, by file name.
std::vector<RecognitionModel> entries();
// The entry for an identifier "custom:NAME.bin" while that file exists.
std::optional<RecognitionModel> entry(const QString& id);
// Error codes of `add` beside the refusals of an unusable file.
constexpr int refusedCode = 3;
constexpr int nameTakenCode = 4;
constexpr int cancelledCode = 5;

// The copy's progress, 0…1; answering false cancels it.
using Progress = std::function<bool(double fraction)>;

// The name the file gets in the folder.
QString modelName(const QString& path);
// Whether a model of that file's name is there already.
bool isTaken(const QString& path);
// Hard-links the file into the folder (a symbolic link: the file it points to), or copies it there, telling
// the progress, when it lives on another file system. Refuses a file that does not start with the magic
// number of whisper.cpp's ggml models; a taken name is refused with nameTakenCode unless `replace`, when the
// new file takes its place. The error's description says why. Blocks as long as the copy takes: for the
// user's files, call it off the main thread.
Result<RecognitionModel> add(const QString& path, bool replace = false, const Progress& progress = {});
} // namespace CustomModels
