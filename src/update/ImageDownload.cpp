#include "update/ImageDownload.h"

#include "core/SystemErrors.h"
#include "update/FeedRequest.h"

#include <QFileInfo>

namespace
{

constexpr int updaterErrorCode = 30;

std::optional<int> unsuccessfulStatus(const QNetworkReply& reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    const int code = status.toInt();
    return code >= 200 && code < 300 ? std::nullopt : std::optional<int>(code);
}

} // namespace

ImageDownload::ImageDownload(QNetworkAccessManager& network, const QUrl& url, QString destination, QObject* parent)
    : QObject(parent), network_(network), url_(url), destination_(std::move(destination))
{
    totalTimer_.setSingleShot(true);
    connect(&totalTimer_, &QTimer::timeout, this,
            [this] { fail(Error::tolvan(updaterErrorCode, QStringLiteral("загрузка длится дольше часа")), false); });
}

void ImageDownload::start()
{
    file_ = std::make_unique<QTemporaryFile>(destination_ + QStringLiteral(".XXXXXX.part"));
    if (!file_->open()) {
        fail(SystemErrors::ofFile(*file_), true);
        return;
    }
    QNetworkRequest request = FeedRequest::request(url_);
    request.setTransferTimeout(inactivityTimeoutMs);
    reply_ = network_.get(request);
    totalTimer_.start(totalTimeoutMs);
    connect(reply_, &QNetworkReply::readyRead, this, &ImageDownload::receive);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (!failure_ && onProgress)
            onProgress(total > 0 ? static_cast<double>(received) / static_cast<double>(total) : 0.0);
    });
    connect(reply_, &QNetworkReply::finished, this, &ImageDownload::finish);
}

void ImageDownload::receive()
{
    if (failure_)
        return;
    if (const auto status = unsuccessfulStatus(*reply_)) {
        fail(SystemErrors::ofHttpStatus(*status, reply_->url()), false);
        return;
    }
    if (const auto failed = store())
        fail(*failed, true);
}

std::optional<Error> ImageDownload::store()
{
    const QByteArray bytes = reply_->readAll();
    if (file_->write(bytes) == bytes.size())
        return std::nullopt;
    return SystemErrors::ofFile(*file_);
}

void ImageDownload::fail(Error error, bool whileSaving)
{
    if (failure_ || finished_)
        return;
    failure_ = Outcome{QString(), std::move(error), whileSaving};
    if (reply_ && reply_->isRunning())
        reply_->abort();
    else
        finish();
}

void ImageDownload::finish()
{
    if (finished_)
        return;
    finished_ = true;
    totalTimer_.stop();
    if (reply_) {
        reply_->disconnect(this);
        reply_->deleteLater();
    }
    const Outcome outcome = failure_ ? *failure_ : save();
    file_.reset();
    if (onFinished)
        onFinished(outcome);
}

ImageDownload::Outcome ImageDownload::save()
{
    Outcome outcome;
    if (const auto status = unsuccessfulStatus(*reply_)) {
        outcome.error = SystemErrors::ofHttpStatus(*status, reply_->url());
        return outcome;
    }
    if (reply_->error() != QNetworkReply::NoError) {
        outcome.error = SystemErrors::ofReply(*reply_);
        return outcome;
    }
    outcome.failedWhileSaving = true;
    if (const auto failed = store()) {
        outcome.error = failed;
        return outcome;
    }
    QFile::remove(destination_);
    if (!file_->flush() || !file_->rename(destination_)) {
        outcome.error = SystemErrors::ofFile(*file_);
        return outcome;
    }
    file_->setAutoRemove(false);
    return Outcome{destination_, std::nullopt, false};
}
