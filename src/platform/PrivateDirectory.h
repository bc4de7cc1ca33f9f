#pragma once

#include <QString>

// Folders that only this user may enter, for what other local users must not reach (the command socket).
namespace PrivateDirectory
{
// Creates the folder 0700 when missing. True when it is a folder (not a link) of this user that nobody
// else may enter.
bool ensure(const QString& path);
// "<temporary directory>/<prefix>-<user id>": a name of this user's own in the shared temporary directory.
QString inTemporaryDirectory(const QString& prefix);
} // namespace PrivateDirectory
