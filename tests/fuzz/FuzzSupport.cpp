#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Fuzz
{

void initialize()
{
    static int argc = 1;
    static char name[] = "tolvan-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    // Saved files are synced to disk on every save: in memory that costs nothing.
    const QString base =
        QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir home(base + QStringLiteral("/tolvan-fuzz-XXXXXX"));
    if (!home.isValid())
        std::abort();
    for (const char* variable :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = home.path() + QLatin1Char('/') + QLatin1String(variable);
        QDir().mkpath(path);
        qputenv(variable, QFile::encodeName(path));
    }
}

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QString text(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    const QByteArray rest = bytes.mid(1);
    if ((static_cast<unsigned char>(bytes.front()) & 1) == 0)
        return QString::fromUtf8(rest);
    QString units(rest.size() / 2, Qt::Uninitialized);
    std::memcpy(units.data(), rest.constData(), static_cast<size_t>(units.size()) * sizeof(QChar));
    return units;
}

void require(bool condition, const char* what, const QString& context)
{
    if (condition)
        return;
    std::fprintf(stderr, "broken promise: %s\n%s\n", what, context.toUtf8().constData());
    std::abort();
}

} // namespace Fuzz
