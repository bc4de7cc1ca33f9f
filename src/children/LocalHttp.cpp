#include "children/LocalHttp.h"

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
        // Compared with what remains: a huge size must not wrap around past the end.
        if (size > encoded.size() - (lineEnd + 2) - 2)
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

LocalHttp::LocalHttp(QObject* context, Callback callback, const Request& request)
    : QObject(context), callback_(std::move(callback)), stillWorking_(request.stillWorking),
      maxAnswerBytes_(request.maxAnswerBytes)
{
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, [this] {
        if (stillWorking_ && stillWorking_())
            idle_.start();
        else
            failed(QLocalSocket::SocketTimeoutError);
    });
    // A server that keeps sending a byte now and then never lets the idle timer strike.
    total_.setSingleShot(true);
    connect(&total_, &QTimer::timeout, this, [this] { failed(QLocalSocket::SocketTimeoutError); });
    connect(&socket_, &QLocalSocket::connected, this, &LocalHttp::sendRequest);
    connect(&socket_, &QLocalSocket::bytesWritten, this, [this] { idle_.start(); });
    connect(&socket_, &QLocalSocket::readyRead, this, &LocalHttp::receive);
    connect(&socket_, &QLocalSocket::disconnected, this, &LocalHttp::closed);
    connect(&socket_, &QLocalSocket::errorOccurred, this, &LocalHttp::failed);
}

LocalHttp::~LocalHttp()
{
    finished_ = true;
    socket_.disconnect(this);
}

void LocalHttp::send(QObject* context, const QString& socketPath, const Request& request, Callback callback)
{
    QByteArray message =
        request.method + ' ' + request.path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\nAccept: */*\r\n";
    if (!request.contentType.isEmpty())
        message += "Content-Type: " + request.contentType + "\r\n";
    for (const auto& [name, value] : request.headers)
        message += name + ": " + value + "\r\n";
    if (request.method != "GET" || !request.body.isEmpty())
        message += "Content-Length: " + QByteArray::number(bodySize(request.body)) + "\r\n";
    message += "\r\n";
    auto* exchange = new LocalHttp(context, std::move(callback), request);
    exchange->start(socketPath, std::move(message), request.body, request);
}

void LocalHttp::start(const QString& socketPath, QByteArray head, QByteArrayList body, const Request& request)
{
    head_ = std::move(head);
    body_ = std::move(body);
    idle_.setInterval(request.idleTimeoutMs);
    idle_.start();
    total_.start(request.totalTimeoutMs);
    socket_.connectToServer(socketPath);
}

void LocalHttp::sendRequest()
{
    socket_.write(head_);
    for (const QByteArray& piece : std::as_const(body_))
        socket_.write(piece);
    head_.clear();
    body_.clear();
    idle_.start();
}

Error LocalHttp::answerTooLarge()
{
    return Error::tolvan(13, QStringLiteral("ответ сервера слишком велик"));
}

std::optional<LocalHttp::Answer> LocalHttp::parse(const QByteArray& received, bool closed)
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

bool LocalHttp::takeArrived()
{
    received_ += socket_.read(maxAnswerBytes_ + 1 - received_.size());
    if (received_.size() <= maxAnswerBytes_)
        return true;
    finish(answerTooLarge());
    return false;
}

void LocalHttp::receive()
{
    if (!takeArrived())
        return;
    idle_.start();
    if (const auto answer = parse(received_, false))
        finish(*answer);
}

void LocalHttp::closed()
{
    if (!takeArrived())
        return;
    if (const auto answer = parse(received_, true)) {
        finish(*answer);
        return;
    }
    failed(QLocalSocket::PeerClosedError);
}

void LocalHttp::failed(QLocalSocket::LocalSocketError error)
{
    if (finished_)
        return;
    if (error == QLocalSocket::PeerClosedError && !received_.isEmpty()) {
        if (!takeArrived())
            return;
        if (const auto answer = parse(received_, true)) {
            finish(*answer);
            return;
        }
    }
    const QString description =
        error == QLocalSocket::SocketTimeoutError ? QStringLiteral("сервер не ответил вовремя") : socket_.errorString();
    finish(Error::system(QStringLiteral("QLocalSocket"), error, description));
}

void LocalHttp::finish(const Result<Answer>& result)
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
