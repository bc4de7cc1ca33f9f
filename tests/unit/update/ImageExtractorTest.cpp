#include "update/ImageExtractor.h"

#include "TestImage.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace
{

struct Extraction
{
    QString base;
    QString directory;
    Result<Done> result;
};

// The image is unpacked into base/unpack, so that anything escaping lands in base.
Extraction extract(const QByteArray& image)
{
    static int count = 0;
    const QString base = TestEnvironment::makeDirectory(QStringLiteral("extraction-%1").arg(++count));
    const QString directory = base + QStringLiteral("/unpack");
    QDir().mkpath(directory + QStringLiteral("/inner"));
    QFile file(base + QStringLiteral("/image.tar.gz"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image);
    file.close();
    return {base, directory, ImageExtractor::extract(file.fileName(), directory + QStringLiteral("/inner"))};
}

QStringList filesBelow(const QString& directory)
{
    QStringList files;
    QDirIterator iterator(directory, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                          QDirIterator::Subdirectories);
    while (iterator.hasNext())
        files.append(QDir(directory).relativeFilePath(iterator.next()));
    files.sort();
    return files;
}

} // namespace

TEST(ImageExtractor, UnpacksABundleKeepingModesLinksAndTimes)
{
    const auto extraction =
        extract(TestImage::bundleImage(QStringLiteral("org.tolvan.Tolvan"), QStringLiteral("2.0"), 9));
    ASSERT_TRUE(extraction.result) << extraction.result.error().description().toStdString();
    const QString app = extraction.directory + QStringLiteral("/inner/Толван.app");
    EXPECT_EQ(filesBelow(app), (QStringList{"Contents", "Contents/Info.json", "bin", "bin/tolvan", "share",
                                            "share/tolvan", "share/tolvan/current", "share/tolvan/version.txt"}));
    const QFileInfo tool(app + QStringLiteral("/bin/tolvan"));
    EXPECT_TRUE(tool.isExecutable());
    EXPECT_EQ(QFile::permissions(app + QStringLiteral("/share/tolvan/version.txt")),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser |
                  QFileDevice::ReadGroup);
    EXPECT_EQ(QFile::symLinkTarget(app + QStringLiteral("/share/tolvan/current")),
              app + QStringLiteral("/share/tolvan/version.txt"));
    EXPECT_EQ(QFileInfo(app + QStringLiteral("/share/tolvan/version.txt")).lastModified(), TestImage::entryTime());
    EXPECT_EQ(QFileInfo(app + QStringLiteral("/share/tolvan")).lastModified(), TestImage::entryTime());
}

TEST(ImageExtractor, UnpacksArchivesWrittenByTheTarProgram)
{
    const QString source = TestEnvironment::makeDirectory(QStringLiteral("tar-source/Толван.app/Contents"));
    QFile info(source + QStringLiteral("/Info.json"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("{}");
    info.close();
    const QString image = TestEnvironment::makeDirectory(QStringLiteral("tar-image")) + QStringLiteral("/i.tar.gz");
    ASSERT_EQ(QProcess::execute(QStringLiteral("tar"),
                                {QStringLiteral("-czf"), image, QStringLiteral("-C"),
                                 TestEnvironment::makeDirectory(QStringLiteral("tar-source")), QStringLiteral(".")}),
              0);
    const QString target = TestEnvironment::makeDirectory(QStringLiteral("tar-target"));
    const Result<Done> result = ImageExtractor::extract(image, target);
    ASSERT_TRUE(result) << result.error().description().toStdString();
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/Толван.app/Contents/Info.json")));
}

TEST(ImageExtractor, HostileEntriesFailTheImageAndWriteNothingOutside)
{
    const QList<QList<ImageEntry>> images = {
        {ImageEntry::file(QStringLiteral("../escaped"), "x")},
        {ImageEntry::file(QStringLiteral("A.app/../../escaped"), "x")},
        {ImageEntry::file(QStringLiteral("/tmp/escaped-tolvan-test"), "x")},
        {ImageEntry::symlink(QStringLiteral("escaped"), QStringLiteral("/etc")),
         ImageEntry::file(QStringLiteral("escaped/passwd-copy"), "x")},
        {ImageEntry::symlink(QStringLiteral("A.app/up"), QStringLiteral("../..")),
         ImageEntry::file(QStringLiteral("A.app/up/escaped"), "x")},
        {ImageEntry::hardlink(QStringLiteral("A.app/passwd"), QStringLiteral("../escaped"))},
        {ImageEntry::hardlink(QStringLiteral("A.app/passwd"), QStringLiteral("/etc/passwd"))},
        {ImageEntry::fifo(QStringLiteral("A.app/pipe"))},
    };
    for (const auto& entries : images) {
        const auto extraction = extract(TestImage::build(entries));
        ASSERT_FALSE(extraction.result) << entries.first().name.toStdString();
        EXPECT_TRUE(extraction.result.error().description().startsWith(QStringLiteral("в образе недопустимый файл")))
            << extraction.result.error().description().toStdString();
        EXPECT_EQ(filesBelow(extraction.base), (QStringList{"image.tar.gz", "unpack", "unpack/inner"}))
            << entries.first().name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/escaped-tolvan-test")));
}

TEST(ImageExtractor, DamagedImagesFail)
{
    const QByteArray image = TestImage::build({TestImage::largeFile(QStringLiteral("Толван.app/large.bin"))});
    for (const QByteArray& damaged : {image.left(image.size() / 2), QByteArray("<html>Not Found</html>")}) {
        const auto extraction = extract(damaged);
        ASSERT_FALSE(extraction.result);
        EXPECT_TRUE(extraction.result.error().description().startsWith(QStringLiteral("не удалось распаковать образ")))
            << extraction.result.error().description().toStdString();
    }
}
