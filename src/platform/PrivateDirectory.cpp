#include "platform/PrivateDirectory.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <unistd.h>

namespace PrivateDirectory
{

bool ensure(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    ::mkdir(name.constData(), 0700);
    struct stat status
    {};
    if (::lstat(name.constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::getuid() && (status.st_mode & 0077) == 0;
}

QString inTemporaryDirectory(const QString& prefix)
{
    return QDir::tempPath() + QLatin1Char('/') + prefix + QLatin1Char('-') + QString::number(::getuid());
}

} // namespace PrivateDirectory
