#pragma once

#include <QString>
#include <QStringList>

// Folders that only this user may enter, for what other local users must not reach (the command socket, the
// recognizers' sockets).
namespace PrivateDirectory
{
// Creates the folder 0700 when missing. True when it is a folder (not a link) of this user that nobody
// else may enter.
bool ensure(const QString& path);
// "<temporary directory>/<prefix>-<user id>": a name of this user's own in the shared temporary directory.
QString inTemporaryDirectory(const QString& prefix);
// "$XDG_RUNTIME_DIR/tolvan" when the session has a runtime folder; empty otherwise. Not created.
QString sessionRuntimeFolder();
// Beside the logs, so that no other user can have taken its name; one per machine, for a home shared by several.
QString stateFolder();
// The first of the folders that is private to this user (created when missing), or empty.
QString firstPrivate(const QStringList& folders);
// The folder for this user's sockets: the session's runtime folder; without one the temporary directory's folder of
// this user, or when another user took its name, the state folder. Created when missing; empty when none is private.
QString socketFolder();
} // namespace PrivateDirectory
