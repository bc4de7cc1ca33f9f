#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

// One HTTP/1.1 request to a child server on 127.0.0.1, on a fresh connection with Nagle's algorithm off
// and the whole request handed to the socket at once (the body is shared, not copied). (Qt's HTTP client writes a
// request body in pieces on a socket that delays small segments; against a peer that delays its acknowledgements every
// recognition stalled for about 40 ms.) Never goes through a proxy, stores nothing.
class LoopbackHttp : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        // 0 when what came back was not HTTP.
        int status = 0;
        QByteArray body;

        bool operator==(const Answer&) const = default;
    };
    using Callback = std::function<void(const Result<Answer>&)>;

    struct Request
    {
        QByteArray method = "GET";
        QByteArray path = "/";
        QByteArray contentType;
        // Further header lines, name and value.
        QList<QPair<QByteArray, QByteArray>> headers;
        // Pieces of the body, handed to the socket one after another without being joined.
        QByteArrayList body;
        // The longest wait for the connection or for more data.
        int idleTimeoutMs = 60000;
        // Asked when that wait runs out: true (the peer is still working on its answer) waits as long again.
        std::function<bool()> stillWorking;
        // The longest the whole exchange may take, however steadily data arrives.
        int totalTimeoutMs = 600000;
        // Asked once the connection stands, before anything is sent: false ends the exchange with peerRefused()
        // and the peer gets nothing.
        std::function<bool()> peerCheck;
    };

    // Sends the request; the callback runs once on the context's thread, never after the context is gone.
    static void send(QObject* context, quint16 port, const Request& request, Callback callback);

    // What the exchange ends with when the request's peer check refuses the peer.
    static Error peerRefused();

    // Parses a complete answer from the bytes received so far; `closed` when the peer has closed the
    // connection. Nothing while more bytes are needed.
    static std::optional<Answer> parse(const QByteArray& received, bool closed);

    // Without a callback: the socket's last signals while it closes must not reach it.
    ~LoopbackHttp() override;

private:
    LoopbackHttp(QObject* context, Callback callback, const Request& request);

    void start(quint16 port, QByteArray head, QByteArrayList body, int idleTimeoutMs, int totalTimeoutMs);
    void receive();
    void closed();
    void failed(QAbstractSocket::SocketError error);
    void finish(const Result<Answer>& result);

    QTcpSocket socket_;
    QTimer idle_;
    QTimer total_;
    QByteArray received_;
    QByteArray head_;
    QByteArrayList body_;
    Callback callback_;
    std::function<bool()> peerCheck_;
    std::function<bool()> stillWorking_;
    bool finished_ = false;
};
