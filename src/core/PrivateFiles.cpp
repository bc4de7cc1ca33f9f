#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>

namespace
{

// QTemporaryDir creates the directory 0700 in one step, under a name nobody can have taken.
std::unique_ptr<QTemporaryDir> makeIn(const QString& base, const QString& purpose)
{
    return std::make_unique<QTemporaryDir>(base + QStringLiteral("/tolvan-") + purpose + QStringLiteral("-XXXXXX"));
}

Error fileError(const QFile& file)
{
    return Error::system(QStringLiteral("QFile"), file.error(), file.errorString());
}

} // namespace

namespace PrivateFiles
{

QString temporaryBase()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return QDir::isAbsolutePath(runtime) ? QDir::cleanPath(runtime) : QDir::tempPath();
}

std::unique_ptr<QTemporaryDir> temporaryDirectory(const QString& purpose)
{
    const QString base = temporaryBase();
    std::unique_ptr<QTemporaryDir> directory = makeIn(base, purpose);
    if (!directory->isValid() && base != QDir::tempPath())
        directory = makeIn(QDir::tempPath(), purpose);
    return directory;
}

bool ensureDirectory(const QString& path)
{
    return QDir().mkpath(path) && QFile::setPermissions(path, directoryMode);
}

Result<Done> writeNew(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, fileMode))
        return fileError(file);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const Error error = fileError(file);
        file.remove();
        return error;
    }
    return Done{};
}

} // namespace PrivateFiles
