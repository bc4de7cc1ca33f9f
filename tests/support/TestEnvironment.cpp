#include "support/TestEnvironment.h"

#include "core/Paths.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace
{

std::unique_ptr<QTemporaryDir> temporaryRoot;

int generation = 0;

void setDirectory(const char* variable, const QString& path)
{
    QDir().mkpath(path);
    qputenv(variable, QFile::encodeName(path));
}

} // namespace

namespace TestEnvironment
{

void isolate()
{
    temporaryRoot = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tolvan-test-XXXXXX"));
    for (const QString& name : QProcessEnvironment::systemEnvironment().keys()) {
        if (name.startsWith(QLatin1String("TOLVAN_")) && !name.startsWith(QLatin1String("TOLVAN_TEST_")))
            qunsetenv(name.toLocal8Bit().constData());
    }
    freshHome();
}

void freshHome()
{
    const QString base = makeDirectory(QStringLiteral("account-%1").arg(++generation));
    setDirectory("HOME", base + QStringLiteral("/home"));
    setDirectory("XDG_CONFIG_HOME", base + QStringLiteral("/config"));
    setDirectory("XDG_DATA_HOME", base + QStringLiteral("/data"));
    setDirectory("XDG_STATE_HOME", base + QStringLiteral("/state"));
    setDirectory("XDG_CACHE_HOME", base + QStringLiteral("/cache"));
    setDirectory("XDG_RUNTIME_DIR", base + QStringLiteral("/runtime"));
    // As a session's runtime directory is.
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString home()
{
    return qEnvironmentVariable("HOME");
}

QString fixture(const QString& relative)
{
    return QStringLiteral(TOLVAN_TEST_FIXTURES "/") + relative;
}

QString makeDirectory(const QString& name)
{
    const QString path = temporaryRoot->path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

QString appLog()
{
    return QString::fromUtf8(TestFiles::read(Paths::logDir() + QStringLiteral("/app.log")));
}

} // namespace TestEnvironment
