#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// What the feedback form sends to the makers.
struct FeedbackMessage
{
    // "bug", "idea" or "question".
    QString kind;
    QString message;
    QString email;
    bool consent = false;
    // Attach the application's version, the system and the active model.
    bool attachMeta = true;
};

// The feedback endpoint, its request and answer, and the e-mail alternative. The endpoint, the privacy page
// and the support mailbox are build options; TOLVAN_FEEDBACK_ENDPOINT, TOLVAN_PRIVACY_PAGE and
// TOLVAN_SUPPORT_MAILBOX replace them.
namespace Feedback
{
inline constexpr int timeoutMs = 20'000;

// How the endpoint answered: the HTTP status (0 without an HTTP answer), the body, and the transport
// error's description (empty when the server answered).
struct Answer
{
    int status = 0;
    QByteArray body;
    QString transportError;
};

QUrl endpoint();
// False while the endpoint is a placeholder on a ".invalid" host.
bool endpointConfigured();
QString privacyPage();
QString supportMailbox();

// The compact JSON request body.
QByteArray body(const FeedbackMessage& message);
// Distribution and kernel, e.g. "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64".
QString systemDescription();
// Posts the body; `done` runs once on the context's thread unless the context is gone by then.
void send(QNetworkAccessManager& network, const QByteArray& body, QObject* context,
          std::function<void(const Answer&)> done);
// HTTP 200 with a JSON object whose "ok" is true.
bool succeeded(const Answer& answer);
// "Обратная связь не отправилась: код …, …"
QString failureLogLine(const Answer& answer);
// A mailto link to the support mailbox with the subject and the message; invalid when none can be formed.
QUrl mailUrl(const QString& message);
} // namespace Feedback
