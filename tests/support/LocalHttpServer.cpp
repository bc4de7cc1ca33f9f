#include "support/LocalHttpServer.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace
{

// Parses one complete request from the front of the buffer and removes it; false while incomplete.
bool takeRequest(QByteArray& buffer, HttpRequest& request)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request = HttpRequest();
    request.method = requestLine.value(0);
    request.path = requestLine.value(1).split('?').front();
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const qsizetype colon = lines[index].indexOf(':');
        if (colon > 0)
            request.headers.append(
                {lines[index].left(colon).trimmed().toLower(), lines[index].mid(colon + 1).trimmed()});
    }
    const qsizetype bodyLength = request.header("content-length").toLongLong();
    if (buffer.size() < headerEnd + 4 + bodyLength)
        return false;
    request.body = buffer.mid(headerEnd + 4, bodyLength);
    buffer.remove(0, headerEnd + 4 + bodyLength);
    return true;
}

QByteArray head(const HttpResponse& response)
{
    // Clients read only the status code.
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.status);
    bytes += response.status < 300 ? " OK\r\n" : " Error\r\n";
    for (const auto& [name, value] : response.headers)
        bytes += name + ": " + value + "\r\n";
    if (response.sendContentLength)
        bytes += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    else
        bytes += "Connection: close\r\n";
    return bytes + "\r\n";
}

void hangUp(QTcpSocket* socket)
{
    socket->disconnectFromHost();
}

void hangUp(QLocalSocket* socket)
{
    socket->disconnectFromServer();
}

template <typename Socket> class Connection : public QObject
{
public:
    Connection(Socket* socket, LocalHttpServer::Handler* handler, QList<HttpRequest>* requests)
        : QObject(socket), socket_(socket), handler_(handler), requests_(requests)
    {
        connect(socket_, &Socket::readyRead, this, &Connection::read);
        connect(socket_, &Socket::disconnected, socket_, &QObject::deleteLater);
    }

private:
    void read()
    {
        buffer_ += socket_->readAll();
        if (busy_)
            return;
        HttpRequest request;
        if (!takeRequest(buffer_, request))
            return;
        requests_->append(request);
        const HttpResponse response = *handler_ ? (*handler_)(request) : HttpResponse::text(404, "File Not Found");
        busy_ = true;
        if (response.delayMs < 0)
            return;
        QTimer::singleShot(response.delayMs, this, [this, response] { answer(response); });
    }

    void answer(const HttpResponse& response)
    {
        socket_->write(head(response));
        sendPieces(response, response.dropAfterBytes < 0 ? response.body : response.body.left(response.dropAfterBytes));
    }

    void sendPieces(const HttpResponse& response, QByteArray rest)
    {
        const qsizetype size = response.chunkSize > 0 ? response.chunkSize : rest.size();
        socket_->write(rest.left(size));
        rest.remove(0, size);
        if (!rest.isEmpty()) {
            QTimer::singleShot(response.chunkIntervalMs, this, [=, this] { sendPieces(response, rest); });
            return;
        }
        if (!response.sendContentLength || response.dropAfterBytes >= 0) {
            hangUp(socket_);
            return;
        }
        busy_ = false;
        if (!buffer_.isEmpty())
            read();
    }

    Socket* socket_;
    LocalHttpServer::Handler* handler_;
    QList<HttpRequest>* requests_;
    QByteArray buffer_;
    bool busy_ = false;
};

} // namespace

QByteArray HttpRequest::header(const QByteArray& lowerCaseName) const
{
    for (const auto& [name, value] : headers) {
        if (name == lowerCaseName)
            return value;
    }
    return {};
}

HttpResponse HttpResponse::text(int status, const QByteArray& body, const QByteArray& contentType)
{
    return {.status = status, .headers = {{"Content-Type", contentType}}, .body = body};
}

HttpResponse HttpResponse::json(const QByteArray& body, int status)
{
    return text(status, body, "application/json");
}

LocalHttpServer::LocalHttpServer(Handler handler, QObject* parent) : QObject(parent), handler_(std::move(handler))
{
    connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
    connect(&localServer_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = localServer_.nextPendingConnection())
            new Connection<QLocalSocket>(socket, &handler_, &requests_);
    });
}

bool LocalHttpServer::listen(quint16 port)
{
    return server_.listen(QHostAddress::LocalHost, port);
}

bool LocalHttpServer::listenOn(const QString& socketPath)
{
    localServer_.setSocketOptions(QLocalServer::UserAccessOption);
    return localServer_.listen(socketPath);
}

quint16 LocalHttpServer::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QUrl LocalHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void LocalHttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection())
        new Connection<QTcpSocket>(socket, &handler_, &requests_);
}
