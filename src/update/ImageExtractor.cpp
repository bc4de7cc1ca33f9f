#include "update/ImageExtractor.h"

#include "platform/FileLinks.h"
#include "update/FileTree.h"
#include "update/ImageEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

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

// Whether the path, every link on it followed, is an existing file below the root.
bool isBelow(const QString& root, const QString& path)
{
    return QFileInfo(path).canonicalFilePath().startsWith(root + QLatin1Char('/'));
}

// A link unpacked early may lead through links that came later in the image: once all are on disk, each is
// followed again.
std::optional<Error> checkUnpackedLinks(const QString& root)
{
    QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const std::optional<QString> target = FileLinks::symbolicTarget(path);
        const QString name = path.mid(root.size() + 1);
        if (target && !ImageEntries::linkResolvesInside(root, name, *target))
            return unsafeEntry(name);
    }
    return std::nullopt;
}

// Validates the entry and points it at its place below the directory.
std::optional<Error> placeEntry(archive_entry* entry, const QString& root, QString& relativeName)
{
    const QString name = entryString(archive_entry_pathname_utf8(entry), archive_entry_pathname(entry));
    const auto safeName = ImageEntries::safeName(name);
    if (!safeName)
        return unsafeEntry(name);
    relativeName = *safeName;
    const char* hardlinkRaw = archive_entry_hardlink(entry);
    const unsigned int type = archive_entry_filetype(entry);
    if (!ImageEntries::isAcceptedType(type, hardlinkRaw != nullptr))
        return unsafeEntry(name);
    if (hardlinkRaw) {
        const QString target = entryString(archive_entry_hardlink_utf8(entry), hardlinkRaw);
        const auto safeTarget = ImageEntries::safeName(target);
        if (!safeTarget || safeTarget->isEmpty() || !isBelow(root, root + QLatin1Char('/') + *safeTarget))
            return unsafeEntry(name);
        archive_entry_set_hardlink(entry, QFile::encodeName(root + QLatin1Char('/') + *safeTarget).constData());
    } else if (type == AE_IFLNK) {
        const QString target = entryString(archive_entry_symlink_utf8(entry), archive_entry_symlink(entry));
        if (!ImageEntries::linkResolvesInside(root, relativeName, target))
            return unsafeEntry(name);
        archive_entry_set_symlink(entry, QFile::encodeName(target).constData());
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

Result<Done> unpack(const QString& image, const QString& root)
{
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
    if (const auto refused = checkUnpackedLinks(root))
        return *refused;
    return Done{};
}

void removeContents(const QString& root)
{
    const QStringList entries =
        QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        FileTree::remove(root + QLatin1Char('/') + entry);
}

} // namespace

namespace ImageExtractor
{

Result<Done> extract(const QString& image, const QString& directory)
{
    const QString root = QDir(directory).canonicalPath();
    if (root.isEmpty())
        return Error::tolvan(updaterErrorCode, QStringLiteral("нет папки для распаковки «%1»").arg(directory));
    const Result<Done> unpacked = unpack(image, root);
    if (!unpacked)
        removeContents(root);
    return unpacked;
}

} // namespace ImageExtractor
