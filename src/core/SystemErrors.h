#pragma once

#include "core/Error.h"

#include <QNetworkReply>
#include <QString>
#include <QUrl>

class QFileDevice;

// What the network and the file system report, turned into Russian sentences that say what to do (check the
// connection, the proxy, free some space). The technical text goes to the log; the errors carry the sentence,
// which starts in lower case so that it can follow "Не удалось …: ". Every download, and every file kept for
// the user, reports its failures through here. Any thread.
namespace SystemErrors
{
// The codes of these errors; an HTTP error's code is its status.
enum Code
{
    networkCode = 60,
    proxyCode,
    secureConnectionCode,
    timeoutCode,
    noSpaceCode,
    noAccessCode,
    fileCode,
};

// A request that ended without the answer it wanted: a transport failure, or a server's HTTP error.
Error ofReply(const QNetworkReply& reply);
// A transport failure from its parts, for a request its owner gave up (`technical` is logged).
Error ofNetwork(QNetworkReply::NetworkError error, const QUrl& url, const QString& technical);
// An answer whose status is not a success.
Error ofHttpStatus(int status, const QUrl& url);
// A file that could not be opened, written or put in its place.
Error ofFile(const QFileDevice& file);
// A folder that could not be created.
Error ofFolder(const QString& path);
} // namespace SystemErrors
