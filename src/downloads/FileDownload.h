#pragma once

#include "core/Error.h"
#include "core/Result.h"
#include "downloads/ContentHash.h"

#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Downloads one file from a list of sources, tried in order until one delivers it (the hub, then its
// mirror). The body streams into a temporary file beside the destination that replaces the destination
// only once it has arrived whole, answered 200, is larger than the minimum size and, when a digest is
// expected, hashes to it (hashed as it streams in); a half-written or different file never appears under
// the final name. A body that grows past the maximum size is stopped there and thrown away, so that no server can
// fill the disk. Lives on the thread of its network manager.
class FileDownload : public QObject
{
    Q_OBJECT

public:
    struct Arrived
    {
        // The source that delivered the file.
        int sourceIndex = 0;
        qint64 bytes = 0;
    };

    struct Bounds
    {
        // The file is complete when larger than this, and refused once larger than the maximum.
        qint64 minimumBytes = 0;
        qint64 maximumBytes = 0;
        // Longest wait for data, and the longest a whole file may take.
        int stallTimeoutMs = 60 * 1000;
        qint64 wholeFileTimeoutMs = 24LL * 60 * 60 * 1000;
    };

    FileDownload(QNetworkAccessManager* network, QList<QUrl> sources, QString destination, Bounds bounds,
                 QObject* parent = nullptr);
    ~FileDownload() override;

    // Told when a source is tried (after a failure of the previous one, that failure first).
    std::function<void(int sourceIndex)> onSourceStarted;
    std::function<void(int sourceIndex, const Error& error)> onSourceFailed;
    // Bytes of a 200 answer so far and its announced length (-1 when unknown), at every arrival.
    std::function<void(qint64 received, qint64 expected)> onProgress;
    // Once, at the end; the error is the last source's, in the words of SystemErrors.
    std::function<void(const Result<Arrived>& result)> onFinished;

    // Before start(): how a source is asked for (a plain GET by default), and what a body that ended at or below
    // the minimum (with the bytes that came) or ran past the maximum is called (a model file's words by default).
    std::function<QNetworkRequest(const QUrl& source)> request = [](const QUrl& source) {
        return QNetworkRequest(source);
    };
    std::function<Error(qint64 received)> incomplete = [](qint64) { return incompleteError(); };
    std::function<Error()> tooLarge = [] { return tooLargeError(); };

    // Before start(): every source has to deliver exactly these bytes.
    void expectHash(const ContentHash& hash) { expectedHash_ = hash; }

    void start();
    // Stops without calling onFinished; the temporary file is discarded.
    void cancel();
    // After a failure: whether the last source's bytes came but could not be stored or put in place.
    bool failedWhileSaving() const { return failedWhileSaving_; }

    static Error incompleteError();
    static Error hashMismatchError();
    static Error tooLargeError();
    // Whether a file name is that of a body still streaming in, "<destination's name>.XXXXXX", or of one
    // left behind when the process ended in the middle of a download.
    static bool isPartialFile(const QString& fileName);

private:
    void startSource(int index);
    void receive();
    void replyFinished();
    // Puts what came whole and right in place, and tells it.
    void verifyAndPlace();
    void fail(const Error& error, bool whileSaving = false);
    void discardTransfer();

    QNetworkAccessManager* network_;
    QList<QUrl> sources_;
    QString destination_;
    Bounds bounds_;
    std::optional<ContentHash> expectedHash_;
    std::optional<QCryptographicHash> hash_;
    int sourceIndex_ = -1;
    qint64 received_ = 0;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<QSaveFile> file_;
    std::optional<Error> writeError_;
    bool writeFailed_ = false;
    bool failedWhileSaving_ = false;
    QTimer wholeFileTimer_;
};
