#include "core/Log.h"

#include "core/Paths.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

// The other tests that read app.log in a fresh home show that the first message makes the folder.
TEST(Log, AppendsOneTimeStampedLinePerLineAndEchoesToStandardError)
{
    const QString path = Paths::logDir() + QStringLiteral("/app.log");
    TestFiles::write(path, "2026-01-01T00:00:00Z прошлый запуск\n");
    testing::internal::CaptureStderr();
    Log::info(QStringLiteral("Запуск «Толван»\n1.0"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Tolvan] Запуск «Толван»\n1.0\n");
    const QStringList lines = QString::fromUtf8(TestFiles::read(path)).split(u'\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("2026-01-01T00:00:00Z прошлый запуск"));
    const auto match =
        QRegularExpression(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z) Запуск «Толван»$"))
            .match(lines[1]);
    ASSERT_TRUE(match.hasMatch()) << lines[1].toStdString();
    EXPECT_LE(qAbs(QDateTime::fromString(match.captured(1), Qt::ISODateWithMs).secsTo(QDateTime::currentDateTimeUtc())),
              5);
    EXPECT_EQ(lines[2], QStringLiteral("1.0"));
}

// A long session: each log that reaches the limit moves to "<name>.1", replacing the older one, and starts anew,
// app.log while the application writes, the children's logs before a child starts; files keep their mode. The
// folder the log makes is the user's alone.
TEST(Log, FullLogsMoveAsideToDotOneAndTheFolderIsPrivate)
{
    const QString folder = Paths::logDir();
    ASSERT_FALSE(QFileInfo::exists(folder));
    Log::info(QStringLiteral("первая"));
    EXPECT_EQ(QFile::permissions(folder).toInt() & 0x7077, 0x7000);

    const QByteArray full(Log::rotateAtBytes, 'a');
    const auto fill = [&](const QString& name, QFileDevice::Permissions mode) {
        QFile file(folder + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        ASSERT_EQ(file.write(full), full.size());
        file.close();
        file.setPermissions(mode);
    };
    TestFiles::write(folder + QStringLiteral("/app.log.1"), "older");
    fill(QStringLiteral("app.log"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Log::info(QStringLiteral("после"));
    EXPECT_TRUE(TestFiles::read(folder + QStringLiteral("/app.log.1")).endsWith(full));
    EXPECT_TRUE(TestFiles::read(folder + QStringLiteral("/app.log")).endsWith(" после\n"));
    EXPECT_EQ(TestFiles::read(folder + QStringLiteral("/app.log")).count('\n'), 1);

    const QFileDevice::Permissions shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    fill(QStringLiteral("server.log"), shared);
    TestFiles::write(folder + QStringLiteral("/advisor.log"), "short");
    for (const char* name : {"server.log", "advisor.log"})
        EXPECT_EQ(Log::childLog(QString::fromLatin1(name)), folder + u'/' + QLatin1String(name));
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("/server.log.1")).size(), Log::rotateAtBytes);
    EXPECT_EQ(QFile::permissions(folder + QStringLiteral("/server.log.1")).toInt() & 0x7077, shared.toInt());
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("/server.log")).size(), 0);
    EXPECT_EQ(QFile::permissions(folder + QStringLiteral("/server.log")).toInt() & 0x7077, 0x6000);
    EXPECT_EQ(TestFiles::read(folder + QStringLiteral("/advisor.log")), "short");
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/advisor.log.1")));
}
