#include "core/Log.h"

#include "core/Paths.h"
#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <mutex>

namespace
{

class LogFile
{
public:
    LogFile() : directory_(Paths::logDir()), file_(directory_ + QStringLiteral("/app.log"))
    {
        QDir().mkpath(directory_);
        // Unbuffered append: every line is one write at the end of the file, whole even when another
        // process writes to the same log.
        // Lines quote what the user said: readable by the user alone.
        opened_ = file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered, PrivateFiles::fileMode);
    }

    const QString& directory() const { return directory_; }

    void append(const QByteArray& line)
    {
        if (!opened_)
            return;
        std::lock_guard lock(mutex_);
        file_.write(line);
    }

private:
    QString directory_;
    QFile file_;
    bool opened_ = false;
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
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    logFile().append((stamp + QLatin1Char(' ') + message + QLatin1Char('\n')).toUtf8());
    mirrorToStandardError(message);
}

QString directory()
{
    return logFile().directory();
}

} // namespace Log
