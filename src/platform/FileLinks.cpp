#include "platform/FileLinks.h"

#include <QFile>

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

namespace FileLinks
{

bool hardLink(const QString& source, const QString& destination)
{
    return ::linkat(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD,
                    QFile::encodeName(destination).constData(), AT_SYMLINK_FOLLOW) == 0;
}

std::optional<QString> symbolicTarget(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::lstat(name.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
        return std::nullopt;
    QByteArray buffer(static_cast<qsizetype>(status.st_size) + 1, Qt::Uninitialized);
    const ssize_t length = ::readlink(name.constData(), buffer.data(), static_cast<size_t>(buffer.size()));
    if (length < 0 || length >= buffer.size())
        return QString();
    return QFile::decodeName(buffer.left(length));
}

} // namespace FileLinks
