// The update image's entries as the extractor judges them: a name, a link target and a type, each as an
// archive may carry it.
#include "FuzzSupport.h"
#include "update/ImageEntries.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <archive_entry.h>

namespace
{

// An unpacked tree with links in it that lead up, sideways and round in a circle.
struct Tree
{
    Tree()
    {
        const QString root = directory.path();
        Fuzz::require(QDir().mkpath(root + "/d/e") && QFile(root + "/f").open(QIODevice::WriteOnly) &&
                          QFile::link("..", root + "/d/up") && QFile::link("d/e", root + "/l") &&
                          QFile::link("up/..", root + "/d/e/out") && QFile::link("loop", root + "/loop"),
                      "the tree is made");
    }
    QTemporaryDir directory;
};

// Where the path goes, ".." taken as text below a root of its own.
bool staysBelowRoot(const QString& directory, const QString& target)
{
    const QString cleaned = QDir::cleanPath(QStringLiteral("/root/") + directory + QLatin1Char('/') + target);
    return cleaned == QLatin1String("/root") || cleaned.startsWith(QLatin1String("/root/"));
}

void checkName(const QString& name)
{
    const std::optional<QString> safe = ImageEntries::safeName(name);
    if (!safe)
        return;
    const QStringList parts = safe->split(QLatin1Char('/'));
    Fuzz::require(safe->isEmpty() || std::none_of(parts.begin(), parts.end(),
                                                  [](const QString& part) {
                                                      return part.isEmpty() || part == QLatin1String(".") ||
                                                             part == QLatin1String("..");
                                                  }),
                  "a safe name has only real components", name);
    Fuzz::require(ImageEntries::safeName(*safe) == safe, "a safe name stays as it is", name);
}

void checkLink(const QString& root, const QString& name, const QString& target)
{
    const std::optional<QString> safe = ImageEntries::safeName(name);
    if (!safe || safe->isEmpty())
        return;
    const QString directory = safe->section(QLatin1Char('/'), 0, -2);
    const bool inside = ImageEntries::linkStaysInside(*safe, target);
    const bool relative = !target.isEmpty() && !target.startsWith(QLatin1Char('/'));
    Fuzz::require(inside == (relative && staysBelowRoot(directory, target)), "a link's text is judged as a path",
                  name + QLatin1Char('\n') + target);
    if (ImageEntries::linkResolvesInside(root, *safe, target))
        Fuzz::require(inside, "a link followed on disk is inside only when its text is", name + '\n' + target);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Tree tree;
    FuzzedDataProvider provider(data, size);
    const unsigned int type = provider.ConsumeIntegral<unsigned int>() & AE_IFMT;
    const bool hardlink = provider.ConsumeBool();
    const QString name = Fuzz::consumeText(provider, 200);
    const QString target = Fuzz::consumeText(provider, 200);
    const bool accepted = ImageEntries::isAcceptedType(type, hardlink);
    Fuzz::require(accepted == (hardlink || type == AE_IFREG || type == AE_IFDIR || type == AE_IFLNK),
                  "only files, directories and links are unpacked", name);
    checkName(name);
    checkName(target);
    checkLink(tree.directory.path(), name, target);
    return 0;
}
