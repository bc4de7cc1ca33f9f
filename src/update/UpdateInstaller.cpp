#include "update/UpdateInstaller.h"

#include "BuildInfo.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/PrivateFiles.h"
#include "update/BundleInfo.h"
#include "update/FileTree.h"
#include "update/ImageExtractor.h"
#include "update/UpdateKeys.h"
#include "update/UpdateSignature.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{

constexpr int updaterErrorCode = 30;

Error updaterError(const QString& message)
{
    return Error::tolvan(updaterErrorCode, message);
}

QString processSuffix()
{
    return QString::number(QCoreApplication::applicationPid());
}

// Removes the private directory when the install ends, however it ends.
class UnpackDirectory
{
public:
    explicit UnpackDirectory(QString path) : path_(std::move(path)) {}
    ~UnpackDirectory() { FileTree::remove(path_); }
    UnpackDirectory(const UnpackDirectory&) = delete;
    UnpackDirectory& operator=(const UnpackDirectory&) = delete;

    // Owner-only; whatever was left at the path by an earlier run goes first.
    bool create() const
    {
        FileTree::remove(path_);
        return QDir().mkpath(QFileInfo(path_).absolutePath()) && QDir().mkdir(path_, PrivateFiles::directoryMode);
    }

private:
    QString path_;
};

// The first entry (by name) ending in ".app"; it has to be a real directory.
std::optional<QString> findApplication(const QString& directory)
{
    const QStringList entries =
        QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (!entry.endsWith(QLatin1String(".app")))
            continue;
        const QFileInfo info(directory + QLatin1Char('/') + entry);
        if (info.isSymLink() || !info.isDir())
            return std::nullopt;
        return info.filePath();
    }
    return std::nullopt;
}

// Puts the copied bundle in place of the installed one. The old copy is renamed aside first and renamed
// back when the new one cannot take its place.
Result<Done> swapIntoPlace(const QString& staged, const QString& installDir, const QString& backup)
{
    const bool hadInstallation = FileTree::exists(installDir);
    if (hadInstallation) {
        FileTree::remove(backup);
        if (const Result<Done> movedAside = FileTree::rename(installDir, backup); !movedAside)
            return movedAside;
    }
    const Result<Done> placed = FileTree::rename(staged, installDir);
    if (!placed) {
        if (hadInstallation && !FileTree::rename(backup, installDir))
            Log::info(QStringLiteral("Обновление: не удалось вернуть прежнюю копию из %1").arg(backup));
        return placed;
    }
    if (hadInstallation && !FileTree::remove(backup))
        Log::info(QStringLiteral("Обновление: не удалось удалить резервную копию %1").arg(backup));
    return Done{};
}

} // namespace

namespace UpdateInstaller
{

Options defaultOptions()
{
    return Options{Paths::installDir(), Paths::cacheDir() + QStringLiteral("/unpack-") + processSuffix(),
                   QString::fromUtf8(BuildInfo::bundleIdentifier), FileTree::copy, UpdateKeys::trusted()};
}

QByteArray fileSha256(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

Result<Done> performInstall(const QString& image, const FeedInfo& feed, const Options& options)
{
    if (const Result<Done> signedImage = UpdateSignature::checkImage(image, feed.signature, options.keys); !signedImage)
        return signedImage;
    if (!feed.sha256.isEmpty() && fileSha256(image) != feed.sha256.toLower())
        return updaterError(QStringLiteral("контрольная сумма образа не совпадает с указанной в фиде"));

    UnpackDirectory unpackDir(options.unpackDir);
    if (!unpackDir.create())
        return updaterError(QStringLiteral("не удалось создать временную папку %1").arg(options.unpackDir));
    if (const Result<Done> extracted = ImageExtractor::extract(image, options.unpackDir); !extracted)
        return extracted;

    const auto application = findApplication(options.unpackDir);
    if (!application)
        return updaterError(QStringLiteral("в образе не нашлось приложения"));
    const auto info = BundleInfo::read(*application);
    if (!info || BundleInfo::identifier(*info) != options.bundleIdentifier)
        return updaterError(QStringLiteral("в образе другое приложение"));

    const QString parent = QFileInfo(options.installDir).absolutePath();
    if (!QDir().mkpath(parent))
        return updaterError(QStringLiteral("не удалось создать папку %1").arg(parent));
    const QString staged = parent + QStringLiteral("/tolvan-new-") + processSuffix() + QStringLiteral(".app");
    const QString backup = parent + QStringLiteral("/tolvan-backup-") + processSuffix() + QStringLiteral(".app");
    FileTree::remove(staged);
    const Result<Done> copied = options.copy(*application, staged);
    const Result<Done> installed = copied ? swapIntoPlace(staged, options.installDir, backup) : copied;
    FileTree::remove(staged);
    return installed;
}

} // namespace UpdateInstaller
