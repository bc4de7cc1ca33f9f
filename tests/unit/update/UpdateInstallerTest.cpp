#include "update/UpdateInstaller.h"

#include "TestImage.h"
#include "TestSigningKey.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "update/FileTree.h"
#include "update/ImageExtractor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

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
                   TestEnvironment::makeDirectory(QStringLiteral("tmp")) + QStringLiteral("/unpack"),
                   identifier,
                   FileTree::copy,
                   {key.publicKey()}};
        TestImage::installBundle(options.installDir, identifier, QStringLiteral("1.0"), 1);
    }

    Result<Done> install(const QByteArray& image, const QByteArray& sha256 = {})
    {
        const QString path = TestEnvironment::makeDirectory(QStringLiteral("download")) + QStringLiteral("/u.tar.gz");
        FeedInfo feed;
        feed.sha256 = sha256;
        feed.signature = key.sign(image);
        return UpdateInstaller::performInstall(TestFiles::write(path, image), feed, options);
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

    TestSigningKey key;
    QString optDir;
    UpdateInstaller::Options options;
};

} // namespace

TEST_F(UpdateInstallerTest, ARefusedImageOrAFailingCopyKeepsTheInstalledCopyAndAGoodOneInstallsItsFirstApplication)
{
    const auto expectKept = [&](const QByteArray& image, const QByteArray& sha256, const Error& error) {
        const Result<Done> result = install(image, sha256);
        ASSERT_FALSE(result) << error.description().toStdString();
        EXPECT_EQ(result.error(), error) << result.error().description().toStdString();
        EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
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

    // A good image is unpacked into a fresh owner-only directory, without set-id and sticky bits.
    ASSERT_FALSE(TestFiles::write(options.unpackDir, "leftover").isNull());
    QFileDevice::Permissions seen;
    std::vector<mode_t> unpackedModes;
    options.copy = [&](const QString& source, const QString& destination) {
        seen = modeOf(options.unpackDir);
        for (const char* name : {"/bin/tool", "/scratch"}) {
            struct stat status = {};
            unpackedModes.push_back(
                stat(QFile::encodeName(source + name).constData(), &status) ? 0 : status.st_mode & 07777);
        }
        return FileTree::copy(source, destination);
    };
    QList<ImageEntry> entries = TestImage::bundle(QStringLiteral("B.app"), identifier, QStringLiteral("2.0"), 2);
    entries.append(TestImage::bundle(QStringLiteral("A.app"), identifier, QStringLiteral("3.0"), 3));
    entries.append(ImageEntry::file(QStringLiteral("A.app/bin/tool"), "x", 06755));
    entries.append(ImageEntry::directory(QStringLiteral("A.app/scratch"), 01777));
    const QByteArray image = TestImage::build(entries);
    const Result<Done> result =
        install(image, QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex().toUpper());
    ASSERT_TRUE(result) << result.error().description().toStdString();
    EXPECT_EQ(seen, rwxOwner);
    EXPECT_EQ(unpackedModes, (std::vector<mode_t>{0755, 0777}));
    EXPECT_EQ(installedVersion(), QStringLiteral("3.0"));
    // The modes, links and times the image carries survive unpacking and copying.
    const QString share = options.installDir + QStringLiteral("/share/tolvan");
    EXPECT_EQ(modeOf(share), rwxOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    EXPECT_EQ(modeOf(share + QStringLiteral("/version.txt")),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    EXPECT_EQ(QFile::symLinkTarget(share + QStringLiteral("/current")), share + QStringLiteral("/version.txt"));
    EXPECT_EQ(QFileInfo(share + QStringLiteral("/version.txt")).lastModified(), TestImage::entryTime);
    EXPECT_EQ(QFileInfo(share).lastModified(), TestImage::entryTime);
    expectOnlyTheInstalledCopy();
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
        // Links that read as staying inside, until the links they lead through are followed.
        {ImageEntry::symlink(QStringLiteral("d/up"), QStringLiteral("..")),
         ImageEntry::symlink(QStringLiteral("d/out"), QStringLiteral("up/.."))},
        {ImageEntry::directory(QStringLiteral("d")), ImageEntry::symlink(QStringLiteral("d/x"), QStringLiteral("y")),
         ImageEntry::symlink(QStringLiteral("d/y"), QStringLiteral("z/..")),
         ImageEntry::symlink(QStringLiteral("d/z"), QStringLiteral("../a/b")),
         ImageEntry::symlink(QStringLiteral("d/w"), QStringLiteral("x/../.."))},
        // A link that leads through links unpacked after it.
        {ImageEntry::symlink(QStringLiteral("a"), QStringLiteral("d/sub/..")),
         ImageEntry::symlink(QStringLiteral("d/sub"), QStringLiteral(".."))},
        // A loop of links.
        {ImageEntry::symlink(QStringLiteral("p"), QStringLiteral("q/x")),
         ImageEntry::symlink(QStringLiteral("q"), QStringLiteral("p"))},
        // A hard link to a file reached through a link that leads outside.
        {ImageEntry::symlink(QStringLiteral("a"), QStringLiteral("d/sub/..")),
         ImageEntry::symlink(QStringLiteral("d/sub"), QStringLiteral("..")),
         {QStringLiteral("copy"), ImageEntry::Type::hardlink, {}, QStringLiteral("a/image.tar.gz")}},
    };
    int count = 0;
    for (const auto& entries : images) {
        // Unpacked into base/inner, so that anything escaping lands in base.
        const QString base = TestEnvironment::makeDirectory(QStringLiteral("extraction-%1").arg(++count));
        QDir().mkpath(base + QStringLiteral("/inner"));
        const Result<Done> result =
            ImageExtractor::extract(TestFiles::write(base + QStringLiteral("/image.tar.gz"), TestImage::build(entries)),
                                    base + QStringLiteral("/inner"));
        ASSERT_FALSE(result) << entries.first().name.toStdString();
        EXPECT_TRUE(result.error().description().startsWith(QStringLiteral("в образе недопустимый файл")))
            << result.error().description().toStdString();
        const auto everything = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        EXPECT_EQ(QDir(base).entryList(everything, QDir::Name), (QStringList{"image.tar.gz", "inner"}));
        EXPECT_TRUE(QDir(base + QStringLiteral("/inner")).isEmpty(everything)) << entries.first().name.toStdString();
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
}
