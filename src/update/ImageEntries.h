#pragma once

#include <QString>

#include <optional>

// What an update image may hold, entry by entry: the checks ImageExtractor makes before anything is written,
// and the one it makes of every symbolic link once the tree is on disk.
namespace ImageEntries
{
// The entry name made relative and free of "." and empty components; nothing when it is absolute or has a
// ".." component. An empty result names the directory itself.
std::optional<QString> safeName(const QString& name);
// Regular files, directories, symbolic links and hard links; `fileType` is the archive entry's file type.
bool isAcceptedType(unsigned int fileType, bool hardlink);
// Whether a symbolic link stored at the (safe) entry name with this target points inside the directory, read
// as text: relative, and never climbing above the directory.
bool linkStaysInside(const QString& entryName, const QString& target);
// Whether that link, followed component by component through the tree below `root` as it stands on disk
// (every link on the way replaced by its own target, link after link), still ends inside `root`.
bool linkResolvesInside(const QString& root, const QString& entryName, const QString& target);
} // namespace ImageEntries
