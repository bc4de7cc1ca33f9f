#pragma once

#include "core/Result.h"

#include <QString>

// Whole directory trees on disk. Symbolic links are always handled as links, never followed.
namespace FileTree
{
// Copies a file, link or directory tree to a destination that does not exist yet, keeping permission
// bits, symbolic links and modification times. Only regular files, directories and links are copied;
// anything else fails the copy. A failed copy may leave a partial destination behind.
Result<Done> copy(const QString& source, const QString& destination);
// Removes whatever stands at the path; true when nothing is left there.
bool remove(const QString& path);
// Renames within one file system; the destination must not exist.
Result<Done> rename(const QString& from, const QString& to);
// Whether anything, even a dangling link, stands at the path.
bool exists(const QString& path);
} // namespace FileTree
