#include "update/UpdateInstaller.h"

#include "TestImage.h"
#include "support/TestEnvironment.h"
#include "update/FileTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace
{

const QString identifier = QStringLiteral("org.tolvan.Tolvan");

class UpdateInstallerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        optDir = TestEnvironment::makeDirectory(QStringLiteral("opt"));
        options.installDir = optDir + QStringLiteral("/Толван.app");
        options.unpackDir = TestEnvironment::makeDirectory(QStringLiteral("tmp")) + QStringLiteral("/unpack");
        options.bundleIdentifier = identifier;
        options.copy = FileTree::copy;
        TestImage::installBundle(options.installDir, identifier, QStringLiteral("1.0"), 1);
    }

    QString image(const QByteArray& content)
    {
        const QString path = TestEnvironment::makeDirectory(QStringLiteral("download")) + QStringLiteral("/u.tar.gz");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path;
    }

    QString installedVersion() const
    {
        QFile file(options.installDir + QStringLiteral("/share/tolvan/version.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The installed copy and nothing beside it: no backup, no half-copied bundle.
    QStringList besideInstallation() const { return QDir(optDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

    void expectFailureLeavesInstallationIntact(const QByteArray& content, const QString& message)
    {
        const Result<Done> result = UpdateInstaller::performInstall(image(content), {}, options);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().description(), message);
        EXPECT_EQ(result.error().domain(), QStringLiteral("Tolvan"));
        EXPECT_EQ(result.error().code(), 30);
        EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
        EXPECT_EQ(besideInstallation(), QStringList{QStringLiteral("Толван.app")});
        EXPECT_FALSE(FileTree::exists(options.unpackDir));
    }

    QString optDir;
    UpdateInstaller::Options options;
};

} // namespace

TEST_F(UpdateInstallerTest, ReplacesTheInstalledCopyUnpackingIntoAFreshOwnerOnlyDirectoryAndCleansUp)
{
    QFile leftover(options.unpackDir);
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    QFileDevice::Permissions seen;
    options.copy = [&](const QString& source, const QString& destination) {
        seen = QFile::permissions(options.unpackDir);
        return FileTree::copy(source, destination);
    };
    const Result<Done> result = UpdateInstaller::performInstall(
        image(TestImage::bundleImage(identifier, QStringLiteral("2.0"), 2)), {}, options);
    ASSERT_TRUE(result) << result.error().description().toStdString();
    EXPECT_EQ(seen & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
    EXPECT_TRUE(QFileInfo(options.installDir + QStringLiteral("/share/tolvan/current")).isSymLink());
    EXPECT_TRUE(QFileInfo(options.installDir + QStringLiteral("/bin/tolvan")).isExecutable());
    EXPECT_EQ(besideInstallation(), QStringList{QStringLiteral("Толван.app")});
    EXPECT_FALSE(FileTree::exists(options.unpackDir));
}

TEST_F(UpdateInstallerTest, InstallsWhereNothingWasInstalledYet)
{
    options.installDir = TestEnvironment::home() + QStringLiteral("/.local/opt/Толван.app");
    const Result<Done> result = UpdateInstaller::performInstall(
        image(TestImage::bundleImage(identifier, QStringLiteral("2.0"), 2)), {}, options);
    ASSERT_TRUE(result) << result.error().description().toStdString();
    EXPECT_TRUE(QFile::exists(options.installDir + QStringLiteral("/Contents/Info.json")));
}

TEST_F(UpdateInstallerTest, BundlesWithoutIdentityOrThatAreOnlyALinkAreRefused)
{
    expectFailureLeavesInstallationIntact(
        TestImage::build({ImageEntry::directory(QStringLiteral("Толван.app")),
                          ImageEntry::file(QStringLiteral("Толван.app/bin/tolvan"), "#!/bin/sh\n", 0755)}),
        QStringLiteral("в образе другое приложение"));
    QList<ImageEntry> entries = TestImage::bundle(QStringLiteral("real"), identifier, QStringLiteral("2.0"), 2);
    entries.append(ImageEntry::symlink(QStringLiteral("Толван.app"), QStringLiteral("real")));
    expectFailureLeavesInstallationIntact(TestImage::build(entries), QStringLiteral("в образе не нашлось приложения"));
}

TEST_F(UpdateInstallerTest, TheFirstApplicationByNameIsTaken)
{
    QList<ImageEntry> entries = TestImage::bundle(QStringLiteral("B.app"), identifier, QStringLiteral("2.0"), 2);
    entries.append(TestImage::bundle(QStringLiteral("A.app"), identifier, QStringLiteral("3.0"), 3));
    ASSERT_TRUE(UpdateInstaller::performInstall(image(TestImage::build(entries)), {}, options));
    EXPECT_EQ(installedVersion(), QStringLiteral("3.0"));
}

TEST_F(UpdateInstallerTest, TheImageMustMatchTheAnnouncedChecksum)
{
    const QString path = image(TestImage::bundleImage(identifier, QStringLiteral("2.0"), 2));
    const QByteArray actual = UpdateInstaller::fileSha256(path);
    ASSERT_EQ(actual.size(), 64);
    QByteArray wrong = actual;
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';

    const Result<Done> mismatch = UpdateInstaller::performInstall(path, wrong, options);
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.error().description(),
              QStringLiteral("контрольная сумма образа не совпадает с указанной в фиде"));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));

    ASSERT_TRUE(UpdateInstaller::performInstall(path, actual.toUpper(), options));
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
}

TEST_F(UpdateInstallerTest, AFailingCopyKeepsTheInstalledCopy)
{
    options.copy = [](const QString& source, const QString& destination) -> Result<Done> {
        // Half of the bundle arrives, then the disk is full.
        QDir().mkpath(destination + QStringLiteral("/bin"));
        QFile::copy(source + QStringLiteral("/bin/tolvan"), destination + QStringLiteral("/bin/tolvan"));
        return Error::system(QStringLiteral("POSIX"), 28, QStringLiteral("No space left on device"));
    };
    const Result<Done> result = UpdateInstaller::performInstall(
        image(TestImage::bundleImage(identifier, QStringLiteral("2.0"), 2)), {}, options);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description(), QStringLiteral("No space left on device"));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
    EXPECT_TRUE(QFile::exists(options.installDir + QStringLiteral("/Contents/Info.json")));
    EXPECT_EQ(besideInstallation(), QStringList{QStringLiteral("Толван.app")});
    EXPECT_FALSE(FileTree::exists(options.unpackDir));
}
