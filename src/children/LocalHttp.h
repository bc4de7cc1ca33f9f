#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

#include <functional>

// One HTTP/1.1 request to a child server over its Unix socket, on a fresh connection, with the whole request handed
// to the socket at once (the body is shared, not copied). The socket lives in a folder only this user can enter, so
// nobody else can listen there or connect to it. Stores nothing; an answer larger than the request allows ends the
// exchange instead of filling memory.
class LocalHttp : public QObject
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
        // The most the answer may hold, head and body.
        qsizetype maxAnswerBytes = 32 << 20;
    };

    // Sends the request; the callback runs once on the context's thread, never after the context is gone.
    static void send(QObject* context, const QString& socketPath, const Request& request, Callback callback);

    // What the exchange ends with when the answer grows past the request's limit.
    static Error answerTooLarge();

    // Parses a complete answer from the bytes received so far; `closed` when the peer has closed the
    // connection. Nothing while more bytes are needed.
    static std::optional<Answer> parse(const QByteArray& received, bool closed);

    // Without a callback: the socket's last signals while it closes must not reach it.
    ~LocalHttp() override;

private:
    LocalHttp(QObject* context, Callback callback, const Request& request);

    void start(const QString& socketPath, QByteArray head, QByteArrayList body, const Request& request);
    void sendRequest();
    // Reads what has arrived; false (and the exchange ended) once the answer is larger than allowed.
    bool takeArrived();
    void receive();
    void closed();
    void failed(QLocalSocket::LocalSocketError error);
    void finish(const Result<Answer>& result);

    QLocalSocket socket_;
    QTimer idle_;
    QTimer total_;
    QByteArray received_;
    QByteArray head_;
    QByteArrayList body_;
    Callback callback_;
    std::function<bool()> stillWorking_;
    qsizetype maxAnswerBytes_ = 0;
    bool finished_ = false;
};
