#include "update/ImageExtractor.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>
#include <memory>

namespace
{

constexpr int updaterErrorCode = 30;

struct ReaderDeleter
{
    void operator()(archive* reader) const { archive_read_free(reader); }
};

struct WriterDeleter
{
    void operator()(archive* writer) const { archive_write_free(writer); }
};

Error archiveError(archive* handle)
{
    const char* text = archive_error_string(handle);
    return Error::tolvan(
        updaterErrorCode,
        QStringLiteral("не удалось распаковать образ: %1").arg(text ? QString::fromUtf8(text) : QStringLiteral("?")));
}

Error unsafeEntry(const QString& name)
{
    return Error::tolvan(updaterErrorCode, QStringLiteral("в образе недопустимый файл «%1»").arg(name));
}

QString entryString(const char* utf8, const char* raw)
{
    return utf8 ? QString::fromUtf8(utf8) : QString::fromUtf8(raw ? raw : "");
}

// The entry name made relative and free of "." and empty components; nothing when it is absolute or
// has a ".." component. An empty result names the directory itself.
std::optional<QString> safeEntryName(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return std::nullopt;
        if (part != QLatin1String("."))
            parts.append(part);
    }
    return parts.join(QLatin1Char('/'));
}

// Whether a symbolic link stored at the (safe) entry name with this target points inside the directory.
bool linkStaysInside(const QString& entryName, const QString& target)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    QStringList parts = entryName.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts.removeLast();
    for (const QString& part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return false;
            parts.removeLast();
        } else if (part != QLatin1String(".")) {
            parts.append(part);
        }
    }
    return true;
}

// Validates the entry and points it at its place below the directory.
std::optional<Error> placeEntry(archive_entry* entry, const QString& root, QString& relativeName)
{
    const QString name = entryString(archive_entry_pathname_utf8(entry), archive_entry_pathname(entry));
    const auto safeName = safeEntryName(name);
    if (!safeName)
        return unsafeEntry(name);
    relativeName = *safeName;
    const char* hardlinkRaw = archive_entry_hardlink(entry);
    const unsigned int type = archive_entry_filetype(entry);
    if (hardlinkRaw) {
        const QString target = entryString(archive_entry_hardlink_utf8(entry), hardlinkRaw);
        const auto safeTarget = safeEntryName(target);
        if (!safeTarget || safeTarget->isEmpty())
            return unsafeEntry(name);
        archive_entry_set_hardlink(entry, QFile::encodeName(root + QLatin1Char('/') + *safeTarget).constData());
    } else if (type == AE_IFLNK) {
        const QString target = entryString(archive_entry_symlink_utf8(entry), archive_entry_symlink(entry));
        if (!linkStaysInside(relativeName, target))
            return unsafeEntry(name);
        archive_entry_set_symlink(entry, QFile::encodeName(target).constData());
    } else if (type != AE_IFREG && type != AE_IFDIR) {
        return unsafeEntry(name);
    }
    archive_entry_set_pathname(entry, QFile::encodeName(root + QLatin1Char('/') + relativeName).constData());
    archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
    return std::nullopt;
}

std::optional<Error> copyData(archive* reader, archive* writer)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return std::nullopt;
        if (status < ARCHIVE_WARN)
            return archiveError(reader);
        if (archive_write_data_block(writer, block, size, offset) < ARCHIVE_WARN)
            return archiveError(writer);
    }
}

} // namespace

namespace ImageExtractor
{

Result<Done> extract(const QString& image, const QString& directory)
{
    const QString root = QDir(directory).canonicalPath();
    if (root.isEmpty())
        return Error::tolvan(updaterErrorCode, QStringLiteral("нет папки для распаковки «%1»").arg(directory));
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(image).constData(), 64 * 1024) != ARCHIVE_OK)
        return archiveError(reader.get());

    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            return archiveError(reader.get());
        QString relativeName;
        if (const auto refused = placeEntry(entry, root, relativeName))
            return *refused;
        if (relativeName.isEmpty())
            continue;
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN)
            return archiveError(writer.get());
        if (archive_entry_size(entry) > 0) {
            if (const auto failed = copyData(reader.get(), writer.get()))
                return *failed;
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN)
            return archiveError(writer.get());
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return archiveError(writer.get());
    return Done{};
}

} // namespace ImageExtractor
