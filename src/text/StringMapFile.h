#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <utility>
#include <vector>

// The user's data files that hold one JSON object from string to string (the corrections dictionary and
// the macros). Reading never fails loudly; writing never leaves a half-written file behind.
namespace StringMapFile
{
using Members = std::vector<std::pair<QString, QString>>;

// The members in the order the parsed object yields them (names sorted). Nothing when the file cannot be
// read, is not JSON, is not an object, or holds any value that is not a string.
std::optional<Members> read(const QString& path);
// Whether the bytes are such an object.
bool parses(const QByteArray& bytes);

// Pretty-printed JSON, one member per line, names in code-unit order, UTF-8.
QByteArray serialize(const std::map<QString, QString>& map);

// Creates the directory, then replaces the file atomically (temporary file in the same directory, flushed
// to disk, renamed over the old one). An existing file that does not parse is first kept as "<path>.bak".
// False when the file could not be replaced; the old content is then untouched.
bool write(const QString& path, const std::map<QString, QString>& map);
// The same for bytes that are already serialized.
bool writeBytes(const QString& path, const QByteArray& bytes);
} // namespace StringMapFile
