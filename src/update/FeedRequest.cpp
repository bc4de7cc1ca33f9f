#include "update/FeedRequest.h"

#include "core/SystemErrors.h"
#include "update/UpdateKeys.h"
#include "update/UpdateSignature.h"

#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace
{

constexpr int updaterErrorCode = 30;

// Below 200 the reply's error comes from the connection or a proxy; from 200 on the server answered.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

// One small document: its bytes when the server sent all of them with success, or the transport error.
struct Document
{
    QByteArray bytes;
    std::optional<Error> transportError;
    bool complete = false;
};

void get(QNetworkAccessManager& network, const QUrl& address, qint64 maximumSize, FeedRequest::Limits limits,
         QObject* context, std::function<void(const Document&)> done)
{
    QNetworkRequest request = FeedRequest::request(address);
    request.setTransferTimeout(limits.inactivityMs);
    QNetworkReply* reply = network.get(request);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    // A server that keeps sending a byte now and then never lets the inactivity limit strike.
    auto tooSlow = std::make_shared<bool>(false);
    QTimer::singleShot(limits.totalMs, reply, [reply, tooSlow] {
        *tooSlow = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooLarge, maximumSize] {
        if (*tooLarge)
            return;
        if (body->size() + reply->bytesAvailable() > maximumSize) {
            *tooLarge = true;
            reply->abort();
            return;
        }
        body->append(reply->readAll());
    });
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, address, body, tooLarge, tooSlow, done = std::move(done)] {
                         reply->deleteLater();
                         Document document;
                         if (*tooSlow)
                             document.transportError = SystemErrors::ofNetwork(
                                 QNetworkReply::TimeoutError, address, QStringLiteral("ответ длится дольше предела"));
                         else if (!*tooLarge && isTransportError(reply->error()))
                             document.transportError = SystemErrors::ofReply(*reply);
                         else if (!*tooLarge && reply->error() == QNetworkReply::NoError) {
                             document.bytes = *body + reply->readAll();
                             document.complete = true;
                         }
                         done(document);
                     });
}

FeedAnswer verified(const Document& feed, const Document& signature, const QUrl& feedAddress,
                    const QUrl& signatureAddress)
{
    FeedAnswer answer;
    if (signature.transportError) {
        answer.transportError = signature.transportError;
        return answer;
    }
    if (!signature.complete) {
        answer.refusal = Error::tolvan(
            updaterErrorCode, QStringLiteral("у фида нет подписи (не найден %1)").arg(signatureAddress.toString()));
        return answer;
    }
    const Result<Done> checked =
        UpdateSignature::check(feed.bytes, signature.bytes, UpdateKeys::trusted(), UpdateSignature::Subject::feed);
    if (!checked)
        answer.refusal = checked.error();
    else
        answer.info = UpdateFeed::parse(feed.bytes, feedAddress);
    return answer;
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
    get(network, address, UpdateFeed::maximumSize, limits, context,
        [&network, address, context, done = std::move(done), limits](const Document& feed) {
            if (!feed.complete)
                return done(FeedAnswer{std::nullopt, feed.transportError, std::nullopt});
            const QUrl signatureAddress = UpdateFeed::signatureAddress(address);
            get(network, signatureAddress, UpdateSignature::maximumFileSize, limits, context,
                [feed, address, signatureAddress, done](const Document& signature) {
                    done(verified(feed, signature, address, signatureAddress));
                });
        });
}

} // namespace FeedRequest
