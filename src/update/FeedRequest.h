#pragma once

#include "core/Error.h"
#include "update/UpdateFeed.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>

#include <functional>
#include <optional>

// The answer to one feed request: the feed, or nothing with the transport error that prevented it (no
// error when the server answered something unusable, an HTTP error page included), or with the reason the
// feed was refused (its signature missing, damaged, or not made by one of our keys).
struct FeedAnswer
{
    std::optional<FeedInfo> info;
    std::optional<Error> transportError;
    std::optional<Error> refusal;
};

namespace FeedRequest
{
// Seconds without any data before a request gives up.
inline constexpr int inactivityTimeoutMs = 30'000;
// The longest a feed request may take in all.
inline constexpr int totalTimeoutMs = 3'600'000;

struct Limits
{
    int inactivityMs = inactivityTimeoutMs;
    int totalMs = totalTimeoutMs;
};

// A request that bypasses every cache and gives up after a silence.
QNetworkRequest request(const QUrl& url);
// Fetches the feed, then its signature, and reads the feed only once the signature holds for the exact bytes
// served. Calls `done` once, on the context's thread, unless the context is gone by then; the network has to
// last as long as the context.
void fetch(QNetworkAccessManager& network, const QUrl& address, QObject* context,
           std::function<void(const FeedAnswer&)> done, Limits limits = {});
} // namespace FeedRequest
