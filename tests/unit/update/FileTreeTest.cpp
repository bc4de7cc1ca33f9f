#include "update/FileTree.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace
{

constexpr auto rwxOwner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr auto rxUser = QFileDevice::ReadUser | QFileDevice::ExeUser;

// The mode bits; the "User" flags describe the effective access of whoever runs the test.
QFileDevice::Permissions modeOf(const QString& path)
{
    return QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

void writeFile(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    ASSERT_TRUE(QFile::setPermissions(path, permissions));
}

QDateTime timeOf(const QString& path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

} // namespace

TEST(FileTree, CopiesATreeKeepingModesLinksAndTimes)
{
    const QString source = TestEnvironment::makeDirectory(QStringLiteral("source"));
    const QString destination = TestEnvironment::home() + QStringLiteral("/copy");
    const QDateTime old(QDate(2019, 5, 1), QTime(8, 30, 0), Qt::UTC);
    writeFile(source + QStringLiteral("/bin/tool"), "#!/bin/sh\n", rwxOwner | rxUser | QFileDevice::ReadGroup);
    writeFile(source + QStringLiteral("/share/data.txt"), "данные", QFileDevice::ReadOwner | QFileDevice::ReadUser);
    QFile dataSource(source + QStringLiteral("/share/data.txt"));
    ASSERT_TRUE(dataSource.open(QIODevice::ReadOnly) && dataSource.setFileTime(old, QFileDevice::FileModificationTime));
    ASSERT_TRUE(QFile::link(QStringLiteral("../share/data.txt"), source + QStringLiteral("/bin/data")));
    ASSERT_TRUE(QFile::link(QStringLiteral("missing"), source + QStringLiteral("/bin/dangling")));
    QDir().mkpath(source + QStringLiteral("/locked"));
    ASSERT_TRUE(QFile::setPermissions(source + QStringLiteral("/share"), rwxOwner));
    ASSERT_TRUE(QFile::setPermissions(source + QStringLiteral("/locked"),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner | rxUser));

    const Result<Done> copied = FileTree::copy(source, destination);
    ASSERT_TRUE(copied) << copied.error().description().toStdString();

    QFile data(destination + QStringLiteral("/share/data.txt"));
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    EXPECT_EQ(data.readAll(), QByteArray("данные"));
    EXPECT_EQ(modeOf(destination + QStringLiteral("/bin/tool")), rwxOwner | QFileDevice::ReadGroup);
    EXPECT_EQ(modeOf(destination + QStringLiteral("/share/data.txt")), QFileDevice::ReadOwner);
    EXPECT_EQ(modeOf(destination + QStringLiteral("/share")), rwxOwner);
    EXPECT_EQ(modeOf(destination + QStringLiteral("/locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(timeOf(destination + QStringLiteral("/share/data.txt")), old);
    EXPECT_EQ(timeOf(destination + QStringLiteral("/share")), timeOf(source + QStringLiteral("/share")));
    EXPECT_EQ(QFileInfo(destination + QStringLiteral("/bin/data")).symLinkTarget(),
              destination + QStringLiteral("/share/data.txt"));
    EXPECT_EQ(QFile::symLinkTarget(destination + QStringLiteral("/bin/dangling")),
              destination + QStringLiteral("/bin/missing"));
}

TEST(FileTree, FifosAndOtherDeviceFilesFailTheCopy)
{
    const QString source = TestEnvironment::makeDirectory(QStringLiteral("fifo-source"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {source + QStringLiteral("/pipe")}), 0);
    const Result<Done> copied = FileTree::copy(source, TestEnvironment::home() + QStringLiteral("/fifo-copy"));
    ASSERT_FALSE(copied);
    EXPECT_TRUE(copied.error().description().contains(QStringLiteral("неподдерживаемый тип файла")));
}

TEST(FileTree, RemovingNeverFollowsLinks)
{
    const QString outside = TestEnvironment::makeDirectory(QStringLiteral("outside"));
    writeFile(outside + QStringLiteral("/precious.txt"), "precious", rwxOwner);
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
