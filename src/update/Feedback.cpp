#include "update/Feedback.h"

#include "BuildInfo.h"
#include "core/SettingsStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>

namespace
{

QString fromEnvironmentOr(const char* variable, const char* built)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? QString::fromUtf8(built) : value;
}

QJsonObject meta()
{
    return {
        {QStringLiteral("app"), QStringLiteral("tolvan-linux")},
        {QStringLiteral("version"), QString::fromUtf8(BuildInfo::shortVersion)},
        {QStringLiteral("build"), QString::fromUtf8(BuildInfo::buildNumber)},
        {QStringLiteral("os"), Feedback::systemDescription()},
        {QStringLiteral("extra"), QStringLiteral("модель: ") + SettingsStore::shared()
                                                                   .stringForKey(SettingsKey::modelID)
                                                                   .value_or(QStringLiteral("large-v3-turbo-q5_0"))},
    };
}

// Below 200 the reply's error comes from the connection or a proxy; from 200 on the server answered.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

} // namespace

namespace Feedback
{

QUrl endpoint()
{
    return QUrl(fromEnvironmentOr("TOLVAN_FEEDBACK_ENDPOINT", BuildInfo::feedbackEndpoint), QUrl::StrictMode);
}

bool endpointConfigured()
{
    const QUrl address = endpoint();
    return address.isValid() && !address.isRelative() &&
           !address.host().endsWith(QLatin1String(".invalid"), Qt::CaseInsensitive);
}

QString privacyPage()
{
    return fromEnvironmentOr("TOLVAN_PRIVACY_PAGE", BuildInfo::privacyPage);
}

QString supportMailbox()
{
    return fromEnvironmentOr("TOLVAN_SUPPORT_MAILBOX", BuildInfo::supportMailbox);
}

QByteArray body(const FeedbackMessage& message)
{
    const QJsonObject object{
        {QStringLiteral("kind"), message.kind},
        {QStringLiteral("message"), message.message.trimmed()},
        {QStringLiteral("email"), message.email.trimmed()},
        {QStringLiteral("consent"), message.consent},
        {QStringLiteral("website"), QString()},
        {QStringLiteral("meta"), message.attachMeta ? meta() : QJsonObject()},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString systemDescription()
{
    return QSysInfo::prettyProductName() + QStringLiteral(", Linux ") + QSysInfo::kernelVersion();
}

void send(QNetworkAccessManager& network, const QByteArray& body, QObject* context,
          std::function<void(const Answer&)> done)
{
    QNetworkRequest request(endpoint());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = network.post(request, body);
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, done = std::move(done)] {
        reply->deleteLater();
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        if (answer.status == 0 && isTransportError(reply->error()))
            answer.transportError = reply->errorString();
        done(answer);
    });
}

bool succeeded(const Answer& answer)
{
    if (answer.status != 200 || !answer.transportError.isEmpty())
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    return document.isObject() && document.object().value(QStringLiteral("ok")) == QJsonValue(true);
}

QString failureLogLine(const Answer& answer)
{
    return QStringLiteral("Обратная связь не отправилась: код %1, %2")
        .arg(QString::number(answer.status),
             answer.transportError.isEmpty() ? QStringLiteral("-") : answer.transportError);
}

QUrl mailUrl(const QString& message)
{
    const auto component = [](const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(supportMailbox(), QUrl::StrictMode);
    url.setQuery(QStringLiteral("subject=") + component(QStringLiteral("Толван: обратная связь")) +
                     QStringLiteral("&body=") + component(message),
                 QUrl::StrictMode);
    return url;
}

} // namespace Feedback
