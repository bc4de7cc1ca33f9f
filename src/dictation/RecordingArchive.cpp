#include "dictation/RecordingArchive.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

QString unusedName(const QDir& directory)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString name = stamp + QStringLiteral(".wav");
    for (int suffix = 2; directory.exists(name); ++suffix)
        name = QStringLiteral("%1-%2.wav").arg(stamp).arg(suffix);
    return directory.filePath(name);
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

std::optional<QString> keep(const QByteArray& wav)
{
    if (!PrivateFiles::ensureDirectory(directory())) {
        Log::info(QStringLiteral("Не удалось создать папку для записей: ") + directory());
        return std::nullopt;
    }
    const QString path = unusedName(QDir(directory()));
    QSaveFile file(path);
    // Created private from the start: the temporary file inherits these permissions.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(PrivateFiles::fileMode) ||
        file.write(wav) != wav.size() || !file.commit()) {
        Log::info(QStringLiteral("Не удалось сохранить запись %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    forgetOldest();
    return path;
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
