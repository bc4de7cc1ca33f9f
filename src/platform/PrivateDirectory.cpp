#include "platform/PrivateDirectory.h"

#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

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

QString sessionRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/tolvan");
    return {};
}

QString stateFolder()
{
    return Log::directory() + QStringLiteral("/instance-") + QSysInfo::machineHostName();
}

QString firstPrivate(const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (ensure(folder))
            return folder;
        Log::info(QStringLiteral("Папка %1 чужая или открыта другим — не годится для сокетов Толвана").arg(folder));
    }
    return {};
}

QString socketFolder()
{
    const QString runtime = sessionRuntimeFolder();
    if (!runtime.isEmpty())
        return firstPrivate({runtime});
    return firstPrivate({inTemporaryDirectory(QStringLiteral("tolvan")), stateFolder()});
}

} // namespace PrivateDirectory
