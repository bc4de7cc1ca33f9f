#pragma once

#include "core/Result.h"
#include "update/UpdateFeed.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Installs an update image over the installed application: checks its signature before anything else,
// unpacks it into a private directory, checks that it holds this very application, copies it beside the installed copy
// and swaps the two by renaming, so that the installed copy is never missing or half-written. The private directory is
// removed on every path. Runs on any thread; blocks while it works.
namespace UpdateInstaller
{
using CopyFunction = std::function<Result<Done>(const QString& source, const QString& destination)>;

struct Options
{
    // The installed bundle.
    QString installDir;
    // The private directory the image is unpacked into.
    QString unpackDir;
    // The identifier the image's application must carry.
    QString bundleIdentifier;
    CopyFunction copy;
    // The keys one of which must have signed the image.
    QList<QByteArray> keys;
};

// The installed bundle, "$XDG_CACHE_HOME/Tolvan/unpack-<pid>" (in the directory the updater keeps private),
// the running application's identifier, a copy that keeps modes, links and times, and the trusted keys.
Options defaultOptions();

// The image as the feed announced it: signed by `feed.signature`, and of the checksum `feed.sha256` when it has one.
Result<Done> performInstall(const QString& image, const FeedInfo& feed, const Options& options = defaultOptions());

// SHA-256 of a file as lower-case hex; empty when it cannot be read.
QByteArray fileSha256(const QString& path);
} // namespace UpdateInstaller
