#include "update/UpdateInstaller.h"

#include "TestImage.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "update/FileTree.h"
#include "update/ImageExtractor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

const QString identifier = QStringLiteral("org.tolvan.Tolvan");
constexpr auto rwxOwner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// The mode bits; the "User" flags describe the effective access of whoever runs the test.
QFileDevice::Permissions modeOf(const QString& path)
{
    return QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

class UpdateInstallerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        optDir = TestEnvironment::makeDirectory(QStringLiteral("opt"));
        options = {optDir + QStringLiteral("/Толван.app"),
                   TestEnvironment::makeDirectory(QStringLiteral("tmp")) + QStringLiteral("/unpack"), identifier,
                   FileTree::copy};
        TestImage::installBundle(options.installDir, identifier, QStringLiteral("1.0"), 1);
    }

    Result<Done> install(const QByteArray& image, const QByteArray& sha256 = {})
    {
        const QString path = TestEnvironment::makeDirectory(QStringLiteral("download")) + QStringLiteral("/u.tar.gz");
        return UpdateInstaller::performInstall(TestFiles::write(path, image), sha256, options);
    }
    QString installedVersion() const
    {
        return QString::fromUtf8(TestFiles::read(options.installDir + QStringLiteral("/share/tolvan/version.txt")));
    }
    // The installed copy and nothing beside it (no backup, no half-copied bundle), and no unpacked image.
    void expectOnlyTheInstalledCopy() const
    {
        EXPECT_EQ(QDir(optDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Толван.app"});
        EXPECT_FALSE(FileTree::exists(options.unpackDir));
    }

    QString optDir;
    UpdateInstaller::Options options;
};

} // namespace

TEST_F(UpdateInstallerTest, InstallsTheFirstApplicationByNameUnpackedInAFreshOwnerOnlyDirectory)
{
    ASSERT_FALSE(TestFiles::write(options.unpackDir, "leftover").isNull());
    QFileDevice::Permissions seen;
    options.copy = [&](const QString& source, const QString& destination) {
        seen = modeOf(options.unpackDir);
        return FileTree::copy(source, destination);
    };
    QList<ImageEntry> entries = TestImage::bundle(QStringLiteral("B.app"), identifier, QStringLiteral("2.0"), 2);
    entries.append(TestImage::bundle(QStringLiteral("A.app"), identifier, QStringLiteral("3.0"), 3));
    const QByteArray image = TestImage::build(entries);
    const Result<Done> result =
        install(image, QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex().toUpper());
    ASSERT_TRUE(result) << result.error().description().toStdString();
    EXPECT_EQ(seen, rwxOwner);
    EXPECT_EQ(installedVersion(), QStringLiteral("3.0"));
    // The modes, links and times the image carries survive unpacking and copying.
    const QString share = options.installDir + QStringLiteral("/share/tolvan");
    EXPECT_TRUE(QFileInfo(options.installDir + QStringLiteral("/bin/tolvan")).isExecutable());
    EXPECT_EQ(modeOf(share), rwxOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    EXPECT_EQ(modeOf(share + QStringLiteral("/version.txt")),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    EXPECT_EQ(QFile::symLinkTarget(share + QStringLiteral("/current")), share + QStringLiteral("/version.txt"));
    EXPECT_EQ(QFileInfo(share + QStringLiteral("/version.txt")).lastModified(), TestImage::entryTime);
    EXPECT_EQ(QFileInfo(share).lastModified(), TestImage::entryTime);
    expectOnlyTheInstalledCopy();
}

TEST_F(UpdateInstallerTest, ARefusedImageOrAFailingCopyKeepsTheInstalledCopy)
{
    const auto expectKept = [&](const QByteArray& image, const QByteArray& sha256, const Error& error) {
        const Result<Done> result = install(image, sha256);
        ASSERT_FALSE(result) << error.description().toStdString();
        EXPECT_EQ(result.error(), error) << result.error().description().toStdString();
        EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
        EXPECT_TRUE(QFile::exists(options.installDir + QStringLiteral("/Contents/Info.json")));
        expectOnlyTheInstalledCopy();
    };
    const auto refused = [](const char* message) { return Error::tolvan(30, QString::fromUtf8(message)); };
    expectKept(TestImage::bundleImage(QStringLiteral("org.example.Other"), QStringLiteral("2.0"), 2), {},
               refused("в образе другое приложение"));
    QList<ImageEntry> onlyALink = TestImage::bundle(QStringLiteral("real"), identifier, QStringLiteral("2.0"), 2);
    onlyALink.append(ImageEntry::symlink(QStringLiteral("Толван.app"), QStringLiteral("real")));
    expectKept(TestImage::build(onlyALink), {}, refused("в образе не нашлось приложения"));

    const Error fullDisk = Error::system(QStringLiteral("POSIX"), 28, QStringLiteral("No space left on device"));
    options.copy = [&](const QString& source, const QString& destination) -> Result<Done> {
        // Half of the bundle arrives, then the disk is full.
        QDir().mkpath(destination + QStringLiteral("/bin"));
        QFile::copy(source + QStringLiteral("/bin/tolvan"), destination + QStringLiteral("/bin/tolvan"));
        return fullDisk;
    };
    expectKept(TestImage::bundleImage(identifier, QStringLiteral("2.0"), 2), {}, fullDisk);
}

TEST(ImageExtractor, UnpacksArchivesWrittenByTheTarProgramWithoutSetIdOrStickyBits)
{
    const QString source = TestEnvironment::makeDirectory(QStringLiteral("tar-source"));
    const QByteArray tool = QFile::encodeName(TestFiles::write(source + QStringLiteral("/Толван.app/bin/tool"), "x"));
    ASSERT_EQ(chmod(tool.constData(), 06755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(source + QStringLiteral("/Толван.app/bin")).constData(), 01777), 0);
    const QString image = TestEnvironment::makeDirectory(QStringLiteral("tar-image")) + QStringLiteral("/i.tar.gz");
    ASSERT_EQ(QProcess::execute(QStringLiteral("tar"),
                                {QStringLiteral("-czf"), image, QStringLiteral("-C"), source, QStringLiteral(".")}),
              0);
    const QString target = TestEnvironment::makeDirectory(QStringLiteral("tar-target"));
    const Result<Done> result = ImageExtractor::extract(image, target);
    ASSERT_TRUE(result) << result.error().description().toStdString();
    for (const auto& [path, mode] : {std::pair{QStringLiteral("/Толван.app/bin/tool"), 0755},
                                     std::pair{QStringLiteral("/Толван.app/bin"), 0777}}) {
        struct stat status = {};
        ASSERT_EQ(stat(QFile::encodeName(target + path).constData(), &status), 0) << path.toStdString();
        EXPECT_EQ(status.st_mode & 07777, mode) << path.toStdString();
    }
}

TEST(ImageExtractor, HostileEntriesFailTheImageAndWriteNothingOutside)
{
    const QList<QList<ImageEntry>> images = {
        {ImageEntry::file(QStringLiteral("../escaped"), "x")},
        {ImageEntry::file(QStringLiteral("/tmp/escaped-tolvan-test"), "x")},
        {ImageEntry::symlink(QStringLiteral("escaped"), QStringLiteral("/etc")),
         ImageEntry::file(QStringLiteral("escaped/passwd-copy"), "x")},
        {ImageEntry::symlink(QStringLiteral("A.app/up"), QStringLiteral("../..")),
         ImageEntry::file(QStringLiteral("A.app/up/escaped"), "x")},
        {{QStringLiteral("A.app/passwd"), ImageEntry::Type::hardlink, {}, QStringLiteral("../escaped")}},
        {{QStringLiteral("A.app/passwd"), ImageEntry::Type::hardlink, {}, QStringLiteral("/etc/passwd")}},
        {{QStringLiteral("A.app/pipe"), ImageEntry::Type::fifo, {}, {}}},
    };
    int count = 0;
    for (const auto& entries : images) {
        // Unpacked into base/unpack/inner, so that anything escaping lands in base.
        const QString base = TestEnvironment::makeDirectory(QStringLiteral("extraction-%1").arg(++count));
        QDir().mkpath(base + QStringLiteral("/unpack/inner"));
        const Result<Done> result =
            ImageExtractor::extract(TestFiles::write(base + QStringLiteral("/image.tar.gz"), TestImage::build(entries)),
                                    base + QStringLiteral("/unpack/inner"));
        ASSERT_FALSE(result) << entries.first().name.toStdString();
        EXPECT_TRUE(result.error().description().startsWith(QStringLiteral("в образе недопустимый файл")))
            << result.error().description().toStdString();
        QStringList files;
        for (QDirIterator below(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                QDirIterator::Subdirectories);
             below.hasNext();)
            files.append(QDir(base).relativeFilePath(below.next()));
        files.sort();
        EXPECT_EQ(files, (QStringList{"image.tar.gz", "unpack", "unpack/inner"})) << entries.first().name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/escaped-tolvan-test")));
}

TEST(FileTree, RemovingNeverFollowsLinks)
{
    const QString outside = TestEnvironment::makeDirectory(QStringLiteral("outside"));
    ASSERT_FALSE(TestFiles::write(outside + QStringLiteral("/precious.txt"), "precious").isNull());
    const QString tree = TestEnvironment::makeDirectory(QStringLiteral("tree"));
    ASSERT_TRUE(QFile::link(outside, tree + QStringLiteral("/link")));
    const QString topLink = TestEnvironment::home() + QStringLiteral("/top-link");
    ASSERT_TRUE(QFile::link(outside, topLink));

    EXPECT_TRUE(FileTree::remove(tree));
    EXPECT_TRUE(FileTree::remove(topLink));
    EXPECT_FALSE(FileTree::exists(tree));
    EXPECT_FALSE(FileTree::exists(topLink));
    EXPECT_TRUE(QFile::exists(outside + QStringLiteral("/precious.txt")));
    EXPECT_TRUE(FileTree::remove(TestEnvironment::home() + QStringLiteral("/never-was")));
}
