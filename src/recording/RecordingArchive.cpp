#include "recording/RecordingArchive.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "core/PrivateFiles.h"
#include "core/SystemErrors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

// The UTC time to the millisecond. A name already taken moves on by a millisecond rather than taking a
// suffix ("…-123-2.wav" would sort before "…-123.wav"), so that the name order stays the order in which the
// recordings were kept; several are kept within a millisecond when the application quits.
QString unusedName(const QDir& directory)
{
    QDateTime stamp = QDateTime::currentDateTimeUtc();
    const auto nameAt = [](const QDateTime& time) {
        return time.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + QStringLiteral(".wav");
    };
    while (directory.exists(nameAt(stamp)))
        stamp = stamp.addMSecs(1);
    return directory.filePath(nameAt(stamp));
}

void forgetOldest()
{
    const QStringList kept = RecordingArchive::files();
    for (qsizetype index = RecordingArchive::keptCount; index < kept.size(); ++index)
        RecordingArchive::remove(kept.at(index));
}

} // namespace

namespace RecordingArchive
{

QString directory()
{
    return Paths::dataDir() + QStringLiteral("/recordings");
}

Result<QString> keep(const QByteArray& wav)
{
    if (!PrivateFiles::ensureDirectory(directory()))
        return SystemErrors::ofFolder(directory());
    const QString path = unusedName(QDir(directory()));
    QSaveFile file(path);
    // Created private from the start: the temporary file inherits these permissions.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(PrivateFiles::fileMode) ||
        file.write(wav) != wav.size() || !file.commit())
        return SystemErrors::ofFile(file);
    forgetOldest();
    return path;
}

std::optional<QByteArray> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Log::info(QStringLiteral("Не удалось прочитать запись %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return file.readAll();
}

QStringList files()
{
    const QDir folder(directory());
    QStringList paths;
    // The names are UTC times, so the reverse name order is newest first.
    for (const QString& name : folder.entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name | QDir::Reversed))
        paths << folder.filePath(name);
    return paths;
}

void remove(const QString& file)
{
    QFile::remove(file);
}

} // namespace RecordingArchive
