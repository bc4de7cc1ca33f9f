#pragma once

#include <QString>

#include <optional>

// Hard and symbolic links, which Qt resolves but neither makes nor reads as written. Any thread.
namespace FileLinks
{
// A second name for `source` at `destination`, following `source` if it is a symbolic link. Never copies: fails
// when the two are on different file systems or `destination` exists.
bool hardLink(const QString& source, const QString& destination);
// The target of the symbolic link at `path` as written, or nothing when it is not a link; empty when it cannot
// be read.
std::optional<QString> symbolicTarget(const QString& path);
} // namespace FileLinks
