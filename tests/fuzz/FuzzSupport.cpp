#include "FuzzSupport.h"

#include "text/StringMapFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("tolvan-fuzz"), nullptr};
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
    return 0;
}

namespace Fuzz
{

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

QString consumeText(FuzzedDataProvider& provider, size_t limit)
{
    return text(QByteArray::fromStdString(provider.ConsumeRandomLengthString(limit)));
}

void require(bool condition, const char* what, const QString& context)
{
    if (condition)
        return;
    std::fprintf(stderr, "broken promise: %s\n%s\n", what, context.toUtf8().constData());
    std::abort();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path + QStringLiteral(".bak"));
    require(StringMapFile::writeBytes(path, bytes), "the file is written", path);
}

void requireSegments(const std::vector<SpeechSegment>& segments, const QByteArray& input)
{
    for (const SpeechSegment& segment : segments)
        require(!segment.text.isEmpty() && segment.startMs >= 0 && segment.endMs >= segment.startMs,
                "a segment has text and ends after it starts", QString::fromUtf8(input));
}

} // namespace Fuzz
