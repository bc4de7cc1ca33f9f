#pragma once

#include "downloads/FileDownload.h"
#include "update/UpdateFeed.h"

class QNetworkAccessManager;
class QObject;

// The update image's download: one file of exactly the size the feed states (a server that sends more is stopped
// at once), asked for past every cache. It streams into a temporary file beside its destination and replaces it
// only once it came whole; the image is never held in memory.
namespace ImageDownload
{
// A download that stalls this long fails; so does one that takes longer than an hour in all.
constexpr int inactivityTimeoutMs = 30'000;
constexpr qint64 totalTimeoutMs = 3'600'000;

// Not started yet; owned by `parent`.
FileDownload* create(QNetworkAccessManager& network, const FeedInfo& feed, const QString& destination, QObject* parent);
} // namespace ImageDownload
