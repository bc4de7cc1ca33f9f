#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Builds update images (gzip-compressed tar archives) entry by entry, including the broken and hostile
// ones a server might hand out.
struct ImageEntry
{
    enum class Type
    {
        file,
        directory,
        symlink,
        hardlink,
        fifo
    };
    QString name;
    Type type = Type::file;
    QByteArray content;
    // Link target.
    QString target;
    int mode = 0644;

    static ImageEntry file(const QString& name, const QByteArray& content, int mode = 0644)
    {
        return {name, Type::file, content, {}, mode};
    }
    static ImageEntry directory(const QString& name, int mode = 0755) { return {name, Type::directory, {}, {}, mode}; }
    static ImageEntry symlink(const QString& name, const QString& target) { return {name, Type::symlink, {}, target}; }
};

namespace TestImage
{
// Every entry carries this modification time.
inline const QDateTime entryTime(QDate(2021, 3, 14), QTime(15, 9, 26), Qt::UTC);

QByteArray build(const QList<ImageEntry>& entries);

// The entries of an application bundle: bin/tolvan (a script that records its start in
// $HOME/started-<version>), Contents/Info.json, share/tolvan/version.txt holding the version and a
// link share/tolvan/current -> version.txt.
QList<ImageEntry> bundle(const QString& directory, const QString& identifier, const QString& version, qint64 build);
QByteArray bundleImage(const QString& identifier, const QString& version, qint64 build);

// Writes the bundle's files to disk, as an installed copy.
void installBundle(const QString& directory, const QString& identifier, const QString& version, qint64 build);

// `size` is the image's in bytes; `signature` is the image's, in base64.
QByteArray feed(const QString& version, qint64 build, const QString& url, qint64 size, const QString& notes = {},
                const QByteArray& sha256 = {}, const QByteArray& signature = {});
} // namespace TestImage
