#include "update/FeedRequest.h"

#include "core/SystemErrors.h"

#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace
{

// Below 200 the reply's error comes from the connection or a proxy; from 200 on the server answered.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

} // namespace

namespace FeedRequest
{

QNetworkRequest request(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setTransferTimeout(inactivityTimeoutMs);
    return request;
}

void fetch(QNetworkAccessManager& network, const QUrl& address, QObject* context,
           std::function<void(const FeedAnswer&)> done, Limits limits)
{
    QNetworkRequest feedRequest = request(address);
    feedRequest.setTransferTimeout(limits.inactivityMs);
    QNetworkReply* reply = network.get(feedRequest);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    // A server that keeps sending a byte now and then never lets the inactivity limit strike.
    auto tooSlow = std::make_shared<bool>(false);
    QTimer::singleShot(limits.totalMs, reply, [reply, tooSlow] {
        *tooSlow = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooLarge] {
        if (*tooLarge)
            return;
        if (body->size() + reply->bytesAvailable() > UpdateFeed::maximumSize) {
            *tooLarge = true;
            reply->abort();
            return;
        }
        body->append(reply->readAll());
    });
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, address, body, tooLarge, tooSlow, done = std::move(done)] {
                         reply->deleteLater();
                         FeedAnswer answer;
                         if (*tooLarge)
                             return done(answer);
                         if (*tooSlow) {
                             answer.transportError = SystemErrors::ofNetwork(
                                 QNetworkReply::TimeoutError, address, QStringLiteral("ответ длится дольше предела"));
                             return done(answer);
                         }
                         if (isTransportError(reply->error())) {
                             answer.transportError = SystemErrors::ofReply(*reply);
                             return done(answer);
                         }
                         body->append(reply->readAll());
                         answer.info = UpdateFeed::parse(*body, address);
                         done(answer);
                     });
}

} // namespace FeedRequest
