#pragma once

#include "core/Error.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// Downloads the update image into a temporary file beside its destination and, once it is complete,
// moves it to the destination, replacing an older one. Never holds the image in memory. An answer other
// than 2xx is a failed download, not an image; so is one that sends more bytes than the feed stated (it is
// stopped at once) or fewer.
class ImageDownload : public QObject
{
    Q_OBJECT

public:
    // A download that stalls this long fails; so does one that takes longer than an hour in all.
    static constexpr int inactivityTimeoutMs = 30'000;
    static constexpr int totalTimeoutMs = 3'600'000;

    struct Outcome
    {
        // The destination, when the image was saved.
        QString path;
        std::optional<Error> error;
        // The bytes arrived but could not be stored or moved to the destination.
        bool failedWhileSaving = false;
    };

    ImageDownload(QNetworkAccessManager& network, const QUrl& url, qint64 size, QString destination,
                  QObject* parent = nullptr);

    // Received bytes / the stated size.
    std::function<void(double fraction)> onProgress;
    // Called once.
    std::function<void(const Outcome&)> onFinished;

    void start();

private:
    void receive();
    std::optional<Error> overrun(qint64 arriving) const;
    std::optional<Error> store(const QByteArray& bytes);
    void fail(Error error, bool whileSaving);
    void finish();
    Outcome save();

    QNetworkAccessManager& network_;
    QUrl url_;
    qint64 size_;
    qint64 received_ = 0;
    QString destination_;
    std::unique_ptr<QTemporaryFile> file_;
    QPointer<QNetworkReply> reply_;
    QTimer totalTimer_;
    std::optional<Outcome> failure_;
    bool finished_ = false;
};
