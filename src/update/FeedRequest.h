#pragma once

#include "core/Error.h"
#include "update/UpdateFeed.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>

#include <functional>
#include <optional>

// The answer to one feed request: the feed, or nothing with the transport error that prevented it (no
// error when the server answered something unusable, an HTTP error page included).
struct FeedAnswer
{
    std::optional<FeedInfo> info;
    std::optional<Error> transportError;
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
// Calls `done` once, on the context's thread, unless the context is gone by then.
void fetch(QNetworkAccessManager& network, const QUrl& address, QObject* context,
           std::function<void(const FeedAnswer&)> done, Limits limits = {});
} // namespace FeedRequest
