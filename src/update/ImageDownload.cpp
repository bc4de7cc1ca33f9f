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

ImageDownload::ImageDownload(QNetworkAccessManager& network, const QUrl& url, qint64 size, QString destination,
                             QObject* parent)
    : QObject(parent), network_(network), url_(url), size_(size), destination_(std::move(destination))
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
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (!failure_ && onProgress && received <= size_)
            onProgress(size_ > 0 ? static_cast<double>(received) / static_cast<double>(size_) : 0.0);
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
    const QByteArray bytes = reply_->readAll();
    if (const auto tooLarge = overrun(bytes.size())) {
        fail(*tooLarge, false);
        return;
    }
    if (const auto failed = store(bytes))
        fail(*failed, true);
}

std::optional<Error> ImageDownload::overrun(qint64 arriving) const
{
    if (received_ + arriving <= size_)
        return std::nullopt;
    return Error::tolvan(updaterErrorCode,
                         QStringLiteral("сервер прислал больше %1 байт, указанных в фиде").arg(size_));
}

std::optional<Error> ImageDownload::store(const QByteArray& bytes)
{
    if (file_->write(bytes) != bytes.size())
        return SystemErrors::ofFile(*file_);
    received_ += bytes.size();
    return std::nullopt;
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
    const QByteArray rest = reply_->readAll();
    if (const auto tooLarge = overrun(rest.size())) {
        outcome.error = tooLarge;
        return outcome;
    }
    outcome.failedWhileSaving = true;
    if (const auto failed = store(rest)) {
        outcome.error = failed;
        return outcome;
    }
    if (received_ < size_) {
        outcome.error = Error::tolvan(updaterErrorCode, QStringLiteral("образ короче %1 байт, указанных в фиде: "
                                                                       "пришло %2")
                                                            .arg(size_)
                                                            .arg(received_));
        outcome.failedWhileSaving = false;
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
