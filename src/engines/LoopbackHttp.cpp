#include "engines/LoopbackHttp.h"

#include <QHostAddress>
#include <QNetworkProxy>

namespace
{

std::optional<qsizetype> headerEnd(const QByteArray& received)
{
    const qsizetype end = received.indexOf("\r\n\r\n");
    return end < 0 ? std::nullopt : std::optional<qsizetype>(end);
}

QByteArray headerValue(const QByteArray& head, const QByteArray& lowerCaseName)
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == lowerCaseName)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

// The body of a chunked answer, or nothing while it is incomplete.
std::optional<QByteArray> dechunk(const QByteArray& encoded)
{
    QByteArray body;
    qsizetype position = 0;
    for (;;) {
        const qsizetype lineEnd = encoded.indexOf("\r\n", position);
        if (lineEnd < 0)
            return std::nullopt;
        bool ok = false;
        const qsizetype size =
            encoded.mid(position, lineEnd - position).split(';').front().trimmed().toLongLong(&ok, 16);
        // The last chunk, or a size that cannot be read: the body ends here.
        if (!ok || size <= 0)
            return body;
        if (encoded.size() < lineEnd + 2 + size + 2)
            return std::nullopt;
        body += encoded.mid(lineEnd + 2, size);
        position = lineEnd + 2 + size + 2;
    }
}

qsizetype bodySize(const QByteArrayList& pieces)
{
    qsizetype size = 0;
    for (const QByteArray& piece : pieces)
        size += piece.size();
    return size;
}

} // namespace

LoopbackHttp::LoopbackHttp(QObject* context, Callback callback, const Request& request)
    : QObject(context), callback_(std::move(callback)), peerCheck_(request.peerCheck),
      stillWorking_(request.stillWorking)
{
    socket_.setProxy(QNetworkProxy::NoProxy);
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, [this] {
        if (stillWorking_ && stillWorking_())
            idle_.start();
        else
            failed(QAbstractSocket::SocketTimeoutError);
    });
    // A server that keeps sending a byte now and then never lets the idle timer strike.
    total_.setSingleShot(true);
    connect(&total_, &QTimer::timeout, this, [this] { failed(QAbstractSocket::SocketTimeoutError); });
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        if (peerCheck_ && !peerCheck_()) {
            finish(peerRefused());
            return;
        }
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Room for a whole recording in the kernel, instead of many small writes.
        socket_.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                                static_cast<int>(std::min<qsizetype>(head_.size() + bodySize(body_), 8 << 20)));
        socket_.write(head_);
        for (const QByteArray& piece : std::as_const(body_))
            socket_.write(piece);
        head_.clear();
        body_.clear();
        idle_.start();
    });
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this] { idle_.start(); });
    connect(&socket_, &QTcpSocket::readyRead, this, &LoopbackHttp::receive);
    connect(&socket_, &QTcpSocket::disconnected, this, &LoopbackHttp::closed);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &LoopbackHttp::failed);
}

LoopbackHttp::~LoopbackHttp()
{
    finished_ = true;
    socket_.disconnect(this);
}

void LoopbackHttp::send(QObject* context, quint16 port, const Request& request, Callback callback)
{
    QByteArray message = request.method + ' ' + request.path +
                         " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                         "\r\nConnection: close\r\nAccept: */*\r\n";
    if (!request.contentType.isEmpty())
        message += "Content-Type: " + request.contentType + "\r\n";
    for (const auto& [name, value] : request.headers)
        message += name + ": " + value + "\r\n";
    if (request.method != "GET" || !request.body.isEmpty())
        message += "Content-Length: " + QByteArray::number(bodySize(request.body)) + "\r\n";
    message += "\r\n";
    auto* exchange = new LoopbackHttp(context, std::move(callback), request);
    exchange->start(port, std::move(message), request.body, request.idleTimeoutMs, request.totalTimeoutMs);
}

void LoopbackHttp::start(quint16 port, QByteArray head, QByteArrayList body, int idleTimeoutMs, int totalTimeoutMs)
{
    head_ = std::move(head);
    body_ = std::move(body);
    idle_.setInterval(idleTimeoutMs);
    idle_.start();
    total_.start(totalTimeoutMs);
    socket_.connectToHost(QHostAddress::LocalHost, port);
}

Error LoopbackHttp::peerRefused()
{
    return Error::tolvan(13, QStringLiteral("порт сервера занят чужой программой"));
}

std::optional<LoopbackHttp::Answer> LoopbackHttp::parse(const QByteArray& received, bool closed)
{
    if (received.isEmpty())
        return std::nullopt;
    if (!QByteArray("HTTP/").startsWith(received.left(5)))
        return closed ? std::optional<Answer>(Answer{0, received}) : std::nullopt;
    const std::optional<qsizetype> end = headerEnd(received);
    if (!end)
        return closed ? std::optional<Answer>(Answer{0, received}) : std::nullopt;
    const QByteArray head = received.left(*end);
    const QByteArray payload = received.mid(*end + 4);
    bool statusOk = false;
    const int status = head.left(head.indexOf("\r\n")).split(' ').value(1).toInt(&statusOk);
    const int code = statusOk ? status : 0;

    if (headerValue(head, "transfer-encoding").toLower().contains("chunked")) {
        if (const auto body = dechunk(payload))
            return Answer{code, *body};
        return std::nullopt;
    }
    const QByteArray length = headerValue(head, "content-length");
    bool lengthOk = false;
    const qsizetype expected = length.toLongLong(&lengthOk);
    if (lengthOk && payload.size() >= expected)
        return Answer{code, payload.left(expected)};
    if (!lengthOk && closed)
        return Answer{code, payload};
    return std::nullopt;
}

void LoopbackHttp::receive()
{
    received_ += socket_.readAll();
    idle_.start();
    if (const auto answer = parse(received_, false))
        finish(*answer);
}

void LoopbackHttp::closed()
{
    received_ += socket_.readAll();
    if (const auto answer = parse(received_, true)) {
        finish(*answer);
        return;
    }
    failed(QAbstractSocket::RemoteHostClosedError);
}

void LoopbackHttp::failed(QAbstractSocket::SocketError error)
{
    if (finished_)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError && !received_.isEmpty()) {
        if (const auto answer = parse(received_ + socket_.readAll(), true)) {
            finish(*answer);
            return;
        }
    }
    const QString description = error == QAbstractSocket::SocketTimeoutError
                                    ? QStringLiteral("сервер не ответил вовремя")
                                    : socket_.errorString();
    finish(Error::system(QStringLiteral("QAbstractSocket"), error, description));
}

void LoopbackHttp::finish(const Result<Answer>& result)
{
    if (finished_)
        return;
    finished_ = true;
    idle_.stop();
    total_.stop();
    socket_.disconnect(this);
    socket_.abort();
    deleteLater();
    callback_(result);
}
