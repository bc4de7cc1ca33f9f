#include "update/ImageEntries.h"

#include "platform/FileLinks.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <archive_entry.h>

namespace
{

// As many links as Linux follows in one path.
constexpr int maximumLinkHops = 40;

QStringList components(const QString& path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// The directory holding the entry, as components below the root.
QStringList parentOf(const QString& entryName)
{
    QStringList parts = components(entryName);
    if (!parts.isEmpty())
        parts.removeLast();
    return parts;
}

} // namespace

namespace ImageEntries
{

std::optional<QString> safeName(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : components(name)) {
        if (part == QLatin1String(".."))
            return std::nullopt;
        if (part != QLatin1String("."))
            parts.append(part);
    }
    return parts.join(QLatin1Char('/'));
}

bool isAcceptedType(unsigned int fileType, bool hardlink)
{
    return hardlink || fileType == AE_IFREG || fileType == AE_IFDIR || fileType == AE_IFLNK;
}

bool linkStaysInside(const QString& entryName, const QString& target)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    QStringList parts = parentOf(entryName);
    for (const QString& part : components(target)) {
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

bool linkResolvesInside(const QString& root, const QString& entryName, const QString& target)
{
    if (!linkStaysInside(entryName, target))
        return false;
    QStringList inside = parentOf(entryName);
    QStringList pending = components(target);
    int hops = 0;
    while (!pending.isEmpty()) {
        const QString part = pending.takeFirst();
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (inside.isEmpty())
                return false;
            inside.removeLast();
            continue;
        }
        inside.append(part);
        // Files, directories and names not unpacked yet are taken as they are.
        const std::optional<QString> next =
            FileLinks::symbolicTarget(root + QLatin1Char('/') + inside.join(QLatin1Char('/')));
        if (!next)
            continue;
        if (next->isEmpty() || next->startsWith(QLatin1Char('/')) || ++hops > maximumLinkHops)
            return false;
        inside.removeLast();
        pending = components(*next) + pending;
    }
    return true;
}

} // namespace ImageEntries
