#include "core/Log.h"

#include "core/Paths.h"
#include "support/TestFiles.h"
#include "text/Corrections.h"
#include "text/MacroStore.h"

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
        QRegularExpression(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ) Запуск «Толван»$"))
            .match(lines[1]);
    ASSERT_TRUE(match.hasMatch()) << lines[1].toStdString();
    EXPECT_LE(qAbs(QDateTime::fromString(match.captured(1), Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(lines[2], QStringLiteral("1.0"));
}

TEST(Log, TheLogAndTheUsersWordsAreReadableByTheUserAlone)
{
    // Both hold what the user said: learnt words, macro texts, dropped pieces of dictation.
    Corrections::add(QStringLiteral("жипити"), QStringLiteral("ChatGPT"));
    MacroStore::ensureFile();
    for (const QString& path :
         {Paths::logDir() + QStringLiteral("/app.log"), Corrections::filePath(), MacroStore::filePath()}) {
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        // Read and write for the owner, nothing for group and others (the "user" bits repeat the owner's).
        EXPECT_EQ(QFile::permissions(path).toInt() & 0x7077, 0x6000) << path.toStdString();
    }
}
