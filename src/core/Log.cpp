#include "core/Log.h"

#include "core/Paths.h"
#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <mutex>

namespace
{

void ensureFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QDir().mkdir(path, PrivateFiles::directoryMode);
}

// Moves a full log to "<path>.1" in one step, replacing the older one; unless another process did it first,
// which leaves a short file under the name.
void rotateIfFull(const QString& path)
{
    if (QFileInfo(path).size() < Log::rotateAtBytes)
        return;
    std::rename(QFile::encodeName(path).constData(), QFile::encodeName(path + QStringLiteral(".1")).constData());
}

class LogFile
{
public:
    LogFile() : directory_(Paths::logDir()), path_(directory_ + QStringLiteral("/app.log"))
    {
        ensureFolder(directory_);
        open();
    }

    const QString& directory() const { return directory_; }

    void append(const QByteArray& line)
    {
        std::lock_guard lock(mutex_);
        // The size of the open file, whatever name it has by now.
        if (file_.isOpen() && file_.size() >= Log::rotateAtBytes) {
            rotateIfFull(path_);
            file_.close();
            open();
        }
        if (file_.isOpen())
            file_.write(line);
    }

private:
    void open()
    {
        file_.setFileName(path_);
        // Unbuffered append: every line is one write at the end of the file, whole even when another
        // process writes to the same log.
        (void)file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered, PrivateFiles::fileMode);
    }

    QString directory_;
    QString path_;
    QFile file_;
    std::mutex mutex_;
};

LogFile& logFile()
{
    static LogFile file;
    return file;
}

void mirrorToStandardError(const QString& message)
{
    const QByteArray line = QByteArrayLiteral("[Tolvan] ") + message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

} // namespace

namespace Log
{

void info(const QString& message)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    logFile().append((stamp + QLatin1Char(' ') + message + QLatin1Char('\n')).toUtf8());
    mirrorToStandardError(message);
}

QString directory()
{
    return logFile().directory();
}

QString childLog(const QString& name)
{
    const QString folder = Paths::logDir();
    ensureFolder(folder);
    const QString path = folder + QLatin1Char('/') + name;
    rotateIfFull(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append, PrivateFiles::fileMode) ? path : QString();
}

} // namespace Log
