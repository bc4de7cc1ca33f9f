#include "engines/CustomModels.h"

#include "core/Log.h"
#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <unistd.h>

namespace
{

const QString extension = QStringLiteral(".bin");
constexpr char ggmlMagic[] = "lmgg";
constexpr double bytesPerMB = 1e6;

Error refusal(const QString& reason)
{
    return Error::tolvan(3, reason);
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/') && name.endsWith(extension);
}

WhisperModel entryFor(const QFileInfo& file)
{
    WhisperModel model;
    model.id = CustomModels::idPrefix + file.fileName();
    model.file = QStringLiteral("custom/") + file.fileName();
    model.title = file.fileName().chopped(extension.size());
    model.sizeMB = static_cast<int>(std::llround(static_cast<double>(file.size()) / bytesPerMB));
    model.note = QStringLiteral("своя модель");
    model.engine = EngineKind::whisper;
    model.userProvided = true;
    return model;
}

QString destinationName(const QString& sourceName)
{
    return sourceName.endsWith(extension) ? sourceName : sourceName + extension;
}

// Copied under a hidden name first, so that a half-copied file never shows up as a model.
bool copyInto(const QString& source, const QString& destination)
{
    const QFileInfo target(destination);
    const QString partial = target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".part");
    QFile::remove(partial);
    if (QFile::copy(source, partial) && QFile::rename(partial, destination))
        return true;
    QFile::remove(partial);
    return false;
}

} // namespace

namespace CustomModels
{

QString directory()
{
    return Paths::modelsDir() + QStringLiteral("/custom");
}

std::vector<WhisperModel> entries()
{
    std::vector<WhisperModel> models;
    const QFileInfoList files =
        QDir(directory()).entryInfoList({QStringLiteral("*") + extension}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        if (isPlainFileName(file.fileName()))
            models.push_back(entryFor(file));
    }
    return models;
}

std::optional<WhisperModel> entry(const QString& id)
{
    const QString name = id.mid(idPrefix.size());
    const QFileInfo file(directory() + u'/' + name);
    if (!id.startsWith(idPrefix) || !isPlainFileName(name) || !file.isFile())
        return std::nullopt;
    return entryFor(file);
}

Result<WhisperModel> add(const QString& path)
{
    const QFileInfo source(path);
    if (!source.isFile())
        return refusal(QStringLiteral("Файл «%1» не найден.").arg(source.fileName()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refusal(QStringLiteral("Файл «%1» не читается: %2.").arg(source.fileName(), file.errorString()));
    if (file.read(4) != ggmlMagic)
        return refusal(QStringLiteral("«%1» — не модель whisper.cpp: файл не начинается с сигнатуры ggml.")
                           .arg(source.fileName()));
    const QString name = destinationName(source.fileName());
    const QString destination = directory() + u'/' + name;
    if (QFileInfo::exists(destination))
        return refusal(QStringLiteral("Модель «%1» уже добавлена.").arg(name.chopped(extension.size())));
    if (!QDir().mkpath(directory()))
        return refusal(QStringLiteral("Не удалось создать папку %1.").arg(directory()));
    const bool linked = ::link(QFile::encodeName(path).constData(), QFile::encodeName(destination).constData()) == 0;
    if (!linked && !copyInto(path, destination))
        return refusal(QStringLiteral("Не удалось скопировать файл в %1.").arg(directory()));
    Log::info(QStringLiteral("Своя модель %1 добавлена (%2)")
                  .arg(name, linked ? QStringLiteral("жёсткая ссылка") : QStringLiteral("копия")));
    return entryFor(QFileInfo(destination));
}

} // namespace CustomModels
