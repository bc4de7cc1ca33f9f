#include "TestImage.h"

#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <archive.h>
#include <archive_entry.h>
#include <clocale>
#include <stdexcept>
#include <string>

namespace
{

la_ssize_t appendToBuffer(archive*, void* buffer, const void* data, size_t size)
{
    static_cast<QByteArray*>(buffer)->append(static_cast<const char*>(data), static_cast<qsizetype>(size));
    return static_cast<la_ssize_t>(size);
}

} // namespace

namespace TestImage
{

QByteArray build(const QList<ImageEntry>& entries)
{
    // The names are converted through the locale's character set, and the tests may run under LC_ALL=C.
    const std::string locale = setlocale(LC_CTYPE, nullptr);
    setlocale(LC_CTYPE, "C.UTF-8");
    QByteArray output;
    archive* writer = archive_write_new();
    archive_write_set_format_pax_restricted(writer);
    archive_write_add_filter_gzip(writer);
    archive_write_open(writer, &output, nullptr, appendToBuffer, nullptr);
    for (const ImageEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, item.name.toUtf8().constData());
        // In the order of ImageEntry::Type; a hard link is written as a regular file that names its target.
        static constexpr mode_t fileTypes[] = {AE_IFREG, AE_IFDIR, AE_IFLNK, AE_IFREG, AE_IFIFO};
        archive_entry_set_filetype(entry, fileTypes[static_cast<int>(item.type)]);
        archive_entry_set_perm(entry, static_cast<mode_t>(item.mode));
        archive_entry_set_mtime(entry, entryTime.toSecsSinceEpoch(), 0);
        if (item.type == ImageEntry::Type::symlink)
            archive_entry_set_symlink_utf8(entry, item.target.toUtf8().constData());
        if (item.type == ImageEntry::Type::hardlink)
            archive_entry_set_hardlink_utf8(entry, item.target.toUtf8().constData());
        if (item.type == ImageEntry::Type::file)
            archive_entry_set_size(entry, item.content.size());
        if (archive_write_header(writer, entry) != ARCHIVE_OK)
            throw std::runtime_error(archive_error_string(writer));
        if (!item.content.isEmpty())
            archive_write_data(writer, item.content.constData(), static_cast<size_t>(item.content.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    setlocale(LC_CTYPE, locale.c_str());
    return output;
}

QList<ImageEntry> bundle(const QString& directory, const QString& identifier, const QString& version, qint64 build)
{
    const QByteArray start = QStringLiteral("#!/bin/sh\necho \"$0\" > \"$HOME/started-%1\"\n").arg(version).toUtf8();
    const QJsonObject info{{QStringLiteral("CFBundleIdentifier"), identifier},
                           {QStringLiteral("CFBundleShortVersionString"), version},
                           {QStringLiteral("CFBundleVersion"), QString::number(build)}};
    return {ImageEntry::directory(directory),
            ImageEntry::directory(directory + QStringLiteral("/bin")),
            ImageEntry::file(directory + QStringLiteral("/bin/tolvan"), start, 0755),
            ImageEntry::directory(directory + QStringLiteral("/Contents")),
            ImageEntry::file(directory + QStringLiteral("/Contents/Info.json"), QJsonDocument(info).toJson()),
            ImageEntry::directory(directory + QStringLiteral("/share")),
            ImageEntry::directory(directory + QStringLiteral("/share/tolvan"), 0750),
            ImageEntry::file(directory + QStringLiteral("/share/tolvan/version.txt"), version.toUtf8(), 0640),
            ImageEntry::symlink(directory + QStringLiteral("/share/tolvan/current"), QStringLiteral("version.txt"))};
}

QByteArray bundleImage(const QString& identifier, const QString& version, qint64 build)
{
    return TestImage::build(bundle(QStringLiteral("Толван.app"), identifier, version, build));
}

void installBundle(const QString& directory, const QString& identifier, const QString& version, qint64 build)
{
    for (const ImageEntry& entry : bundle(directory, identifier, version, build)) {
        if (entry.type == ImageEntry::Type::file && TestFiles::write(entry.name, entry.content).isNull())
            throw std::runtime_error("cannot write the installed bundle");
    }
}

QByteArray feed(const QString& version, qint64 build, const QString& url, qint64 size, const QString& notes,
                const QByteArray& sha256, const QByteArray& signature)
{
    QJsonObject object{{QStringLiteral("version"), version},
                       {QStringLiteral("build"), build},
                       {QStringLiteral("url"), url},
                       {QStringLiteral("size"), size}};
    if (!notes.isEmpty())
        object.insert(QStringLiteral("notes"), notes);
    if (!sha256.isEmpty())
        object.insert(QStringLiteral("sha256"), QString::fromLatin1(sha256));
    if (!signature.isEmpty())
        object.insert(QStringLiteral("signature"), QString::fromLatin1(signature));
    return QJsonDocument(object).toJson();
}

} // namespace TestImage
