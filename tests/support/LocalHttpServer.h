#pragma once

#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

// A small HTTP/1.1 server on 127.0.0.1 or a Unix socket for tests and fake programs: every request goes to a handler
// whose answer can also misbehave the ways real servers and networks do (no Content-Length, a dropped connection, a
// slow or trickling answer, no answer at all).
struct HttpRequest
{
    QByteArray method;
    // The path without the query, as sent (percent-encoded).
    QByteArray path;
    // Header names in lower case.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray& lowerCaseName) const;
};

struct HttpResponse
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers = {};
    QByteArray body = {};
    // Without it the body ends when the connection closes.
    bool sendContentLength = true;
    // Close the connection after this many body bytes (-1: send all).
    qint64 dropAfterBytes = -1;
    // Wait before answering; -1 never answers (the connection stays open until the client gives up).
    int delayMs = 0;
    // Send the body in pieces of this size with a pause between them (0: all at once).
    int chunkSize = 0;
    int chunkIntervalMs = 0;

    static HttpResponse text(int status, const QByteArray& body, const QByteArray& contentType = "text/plain");
    static HttpResponse json(const QByteArray& body, int status = 200);
};

class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LocalHttpServer(Handler handler = {}, QObject* parent = nullptr);

    // Listens on 127.0.0.1; port 0 picks a free one.
    bool listen(quint16 port = 0);
    // Listens on a Unix socket that only this user may connect to.
    bool listenOn(const QString& socketPath);
    quint16 port() const { return server_.serverPort(); }
    // A port of 127.0.0.1 that nothing listens on (it was free a moment ago).
    static quint16 closedPort();
    QUrl url(const QString& path = QStringLiteral("/")) const;
    void setHandler(Handler handler) { handler_ = std::move(handler); }
    // Every request received so far, in order.
    const QList<HttpRequest>& requests() const { return requests_; }

private:
    void accept();

    QTcpServer server_;
    QLocalServer localServer_;
    Handler handler_;
    QList<HttpRequest> requests_;
};
