#include "update/ImageDownload.h"

#include "update/FeedRequest.h"

namespace
{

constexpr int updaterErrorCode = 30;

} // namespace

namespace ImageDownload
{

FileDownload* create(QNetworkAccessManager& network, const FeedInfo& feed, const QString& destination, QObject* parent)
{
    const qint64 size = feed.size;
    auto* download = new FileDownload(&network, {feed.url}, destination,
                                      {size - 1, size, inactivityTimeoutMs, totalTimeoutMs}, parent);
    download->request = FeedRequest::request;
    download->incomplete = [size](qint64 received) {
        return Error::tolvan(
            updaterErrorCode,
            QStringLiteral("образ короче %1 байт, указанных в фиде: пришло %2").arg(size).arg(received));
    };
    download->tooLarge = [size] {
        return Error::tolvan(updaterErrorCode,
                             QStringLiteral("сервер прислал больше %1 байт, указанных в фиде").arg(size));
    };
    return download;
}

} // namespace ImageDownload
