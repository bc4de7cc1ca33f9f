#include "downloads/FileDownload.h"

#include "core/SystemErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

FileDownload::FileDownload(QNetworkAccessManager* network, QList<QUrl> sources, QString destination, Bounds bounds,
                           QObject* parent)
    : QObject(parent), network_(network), sources_(std::move(sources)), destination_(std::move(destination)),
      bounds_(bounds)
{
    wholeFileTimer_.setSingleShot(true);
    connect(&wholeFileTimer_, &QTimer::timeout, this, [this] {
        if (reply_)
            reply_->abort();
    });
}

FileDownload::~FileDownload()
{
    cancel();
}

Error FileDownload::incompleteError()
{
    return Error::tolvan(1, QStringLiteral("файл модели неполный"));
}

Error FileDownload::hashMismatchError()
{
    return Error::tolvan(6, QStringLiteral("файл модели повреждён или подменён: контрольная сумма не совпадает"));
}

Error FileDownload::tooLargeError()
{
    return Error::tolvan(7, QStringLiteral("файл модели больше ожидаемого — загрузка остановлена"));
}

bool FileDownload::isPartialFile(const QString& fileName)
{
    // QSaveFile's temporary file: the destination's name, a dot and six random letters or digits. Every
    // destination's name has an extension of its own before that.
    const qsizetype suffix = fileName.lastIndexOf(QLatin1Char('.'));
    if (suffix < 2 || fileName.size() - suffix - 1 != 6)
        return false;
    for (qsizetype index = suffix + 1; index < fileName.size(); ++index) {
        const char16_t unit = fileName.at(index).unicode();
        if (!((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9')))
            return false;
    }
    const qsizetype extension = fileName.lastIndexOf(QLatin1Char('.'), suffix - 1);
    return extension > 0 && extension < suffix - 1;
}

void FileDownload::start()
{
    if (sources_.isEmpty()) {
        if (onFinished)
            onFinished(SystemErrors::ofHttpStatus(0, QUrl()));
        return;
    }
    startSource(0);
}

void FileDownload::cancel()
{
    wholeFileTimer_.stop();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    discardTransfer();
}

void FileDownload::startSource(int index)
{
    sourceIndex_ = index;
    received_ = 0;
    writeError_.reset();
    writeFailed_ = false;
    hash_.reset();
    if (expectedHash_)
        hash_.emplace(expectedHash_->algorithm());
    if (onSourceStarted)
        onSourceStarted(index);
    const QString directory = QFileInfo(destination_).absolutePath();
    if (!QDir().mkpath(directory)) {
        fail(SystemErrors::ofFolder(directory), true);
        return;
    }
    file_ = std::make_unique<QSaveFile>(destination_);
    if (!file_->open(QIODevice::WriteOnly)) {
        fail(SystemErrors::ofFile(*file_), true);
        return;
    }
    QNetworkRequest asked = request(sources_.at(index));
    asked.setTransferTimeout(bounds_.stallTimeoutMs);
    reply_ = network_->get(asked);
    connect(reply_, &QNetworkReply::readyRead, this, &FileDownload::receive);
    connect(reply_, &QNetworkReply::finished, this, &FileDownload::replyFinished);
    wholeFileTimer_.start(std::chrono::milliseconds(bounds_.wholeFileTimeoutMs));
}

void FileDownload::receive()
{
    const QByteArray bytes = reply_->readAll();
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200 || writeError_ || !file_)
        return;
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (received_ + bytes.size() > bounds_.maximumBytes ||
        (length.isValid() && length.toLongLong() > bounds_.maximumBytes)) {
        writeError_ = tooLarge();
        reply_->abort();
        return;
    }
    if (file_->write(bytes) != bytes.size()) {
        writeError_ = SystemErrors::ofFile(*file_);
        writeFailed_ = true;
        reply_->abort();
        return;
    }
    received_ += bytes.size();
    if (hash_)
        hash_->addData(bytes);
    if (onProgress && !bytes.isEmpty())
        onProgress(received_, length.isValid() && length.toLongLong() > 0 ? length.toLongLong() : -1);
}

void FileDownload::replyFinished()
{
    wholeFileTimer_.stop();
    QNetworkReply* reply = reply_;
    reply->deleteLater();
    if (!writeError_ && reply->bytesAvailable() > 0)
        receive();
    reply_.clear();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (writeError_) {
        fail(*writeError_, writeFailed_);
    } else if (status.isValid() && status.toInt() != 200) {
        fail(SystemErrors::ofHttpStatus(status.toInt(), reply->url()));
    } else if (reply->error() != QNetworkReply::NoError) {
        fail(SystemErrors::ofReply(*reply));
    } else if (!status.isValid()) {
        fail(SystemErrors::ofHttpStatus(0, reply->url()));
    } else {
        verifyAndPlace();
    }
}

void FileDownload::verifyAndPlace()
{
    if (!file_->flush()) {
        fail(SystemErrors::ofFile(*file_), true);
        return;
    }
    const qint64 bytes = file_->size();
    if (bytes <= bounds_.minimumBytes) {
        fail(incomplete(bytes));
        return;
    }
    if (expectedHash_ && !expectedHash_->matches(hash_->resultView())) {
        fail(hashMismatchError());
        return;
    }
    if (!file_->commit()) {
        const Error error = SystemErrors::ofFile(*file_);
        file_.reset();
        fail(error, true);
        return;
    }
    file_.reset();
    if (onFinished)
        onFinished(Arrived{sourceIndex_, bytes});
}

void FileDownload::fail(const Error& error, bool whileSaving)
{
    failedWhileSaving_ = whileSaving;
    discardTransfer();
    const int next = sourceIndex_ + 1;
    if (next < sources_.size()) {
        if (onSourceFailed)
            onSourceFailed(sourceIndex_, error);
        startSource(next);
        return;
    }
    if (onFinished)
        onFinished(error);
}

void FileDownload::discardTransfer()
{
    if (file_) {
        file_->cancelWriting();
        file_.reset();
    }
}
