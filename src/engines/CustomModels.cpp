#include "engines/CustomModels.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "core/SystemErrors.h"
#include "platform/FileLinks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace
{

const QString extension = QStringLiteral(".bin");
constexpr char ggmlMagic[] = "lmgg";
constexpr double bytesPerMB = 1e6;
constexpr qint64 copyChunkBytes = 4 << 20;

Error refusal(const QString& reason)
{
    return Error::tolvan(CustomModels::refusedCode, reason);
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/') && name.endsWith(extension);
}

RecognitionModel entryFor(const QFileInfo& file)
{
    RecognitionModel model;
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

QString partialName(const QString& destination)
{
    const QFileInfo target(destination);
    return target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".part");
}

Result<Done> copyInto(const QString& source, const QString& destination, const CustomModels::Progress& progress)
{
    QFile from(source), to(destination);
    const auto copyFailed = [&to] {
        return refusal(QStringLiteral("Не удалось скопировать файл: ") + SystemErrors::ofFile(to).description());
    };
    if (!from.open(QIODevice::ReadOnly))
        return refusal(QStringLiteral("Не удалось скопировать файл в %1.").arg(CustomModels::directory()));
    if (!to.open(QIODevice::WriteOnly))
        return copyFailed();
    const qint64 total = from.size();
    qint64 copied = 0;
    QByteArray chunk(copyChunkBytes, Qt::Uninitialized);
    for (qint64 read; (read = from.read(chunk.data(), chunk.size())) > 0; copied += read) {
        if (to.write(chunk.constData(), read) != read)
            return copyFailed();
        if (progress && !progress(total > 0 ? static_cast<double>(copied + read) / static_cast<double>(total) : 1))
            return Error::tolvan(CustomModels::cancelledCode, QStringLiteral("Копирование отменено."));
    }
    if (!to.flush())
        return copyFailed();
    if (copied != total)
        return refusal(QStringLiteral("Не удалось скопировать файл в %1.").arg(CustomModels::directory()));
    return Done{};
}

// Placed under a hidden name first, so that a half-copied file never shows up as a model, then renamed over
// the destination in one step.
Result<bool> place(const QString& source, const QString& destination, const CustomModels::Progress& progress)
{
    const QString partial = partialName(destination);
    QFile::remove(partial);
    const bool linked = FileLinks::hardLink(source, partial);
    Result<Done> placed = linked ? Result<Done>(Done{}) : copyInto(source, partial, progress);
    if (placed && ::rename(QFile::encodeName(partial).constData(), QFile::encodeName(destination).constData()) != 0)
        placed = refusal(QStringLiteral("Не удалось переименовать файл в %1.").arg(CustomModels::directory()));
    // Renaming onto another link of the same file leaves both names.
    QFile::remove(partial);
    if (!placed)
        return placed.error();
    return linked;
}

} // namespace

namespace CustomModels
{

QString directory()
{
    return Paths::modelsDir() + QStringLiteral("/custom");
}

std::vector<RecognitionModel> entries()
{
    std::vector<RecognitionModel> models;
    const QFileInfoList files =
        QDir(directory()).entryInfoList({QStringLiteral("*") + extension}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        if (isPlainFileName(file.fileName()))
            models.push_back(entryFor(file));
    }
    return models;
}

std::optional<RecognitionModel> entry(const QString& id)
{
    const QString name = id.mid(idPrefix.size());
    const QFileInfo file(directory() + u'/' + name);
    if (!id.startsWith(idPrefix) || !isPlainFileName(name) || !file.isFile())
        return std::nullopt;
    return entryFor(file);
}

QString modelName(const QString& path)
{
    return destinationName(QFileInfo(path).fileName());
}

bool isTaken(const QString& path)
{
    return QFileInfo::exists(directory() + u'/' + modelName(path));
}

Result<RecognitionModel> add(const QString& path, bool replace, const Progress& progress)
{
    const QFileInfo chosen(path);
    const QString source = chosen.canonicalFilePath();
    if (source.isEmpty() || !QFileInfo(source).isFile())
        return refusal(QStringLiteral("Файл «%1» не найден.").arg(chosen.fileName()));
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return refusal(QStringLiteral("Файл «%1» не читается: %2.").arg(chosen.fileName(), file.errorString()));
    if (file.read(4) != ggmlMagic)
        return refusal(QStringLiteral("«%1» — не модель whisper.cpp: файл не начинается с сигнатуры ggml.")
                           .arg(chosen.fileName()));
    const QString name = modelName(path);
    const QString destination = directory() + u'/' + name;
    if (!replace && QFileInfo::exists(destination))
        return Error::tolvan(nameTakenCode,
                             QStringLiteral("Модель «%1» уже есть в списке.").arg(name.chopped(extension.size())));
    if (!QDir().mkpath(directory()))
        return refusal(QStringLiteral("Не удалось создать папку %1.").arg(directory()));
    const Result<bool> linked = place(source, destination, progress);
    if (!linked)
        return linked.error();
    Log::info(QStringLiteral("Своя модель %1 добавлена (%2)")
                  .arg(name, linked.value() ? QStringLiteral("жёсткая ссылка") : QStringLiteral("копия")));
    return entryFor(QFileInfo(destination));
}

} // namespace CustomModels
