#include "core/Log.h"

#include "core/Paths.h"
#include "support/TestFiles.h"
#include "text/Corrections.h"
#include "text/MacroStore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace
{

QStringList logLines()
{
    QStringList lines = QString::fromUtf8(TestFiles::read(Paths::logDir() + QStringLiteral("/app.log"))).split(u'\n');
    lines.removeLast();
    return lines;
}

} // namespace

// The other tests that read app.log in a fresh home show that the first message makes the folder.
TEST(Log, AppendsOneTimeStampedLinePerLineAndEchoesToStandardError)
{
    TestFiles::write(Paths::logDir() + QStringLiteral("/app.log"), "2026-01-01T00:00:00Z прошлый запуск\n");
    testing::internal::CaptureStderr();
    Log::info(QStringLiteral("Запуск «Толван»\n1.0"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Tolvan] Запуск «Толван»\n1.0\n");
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("2026-01-01T00:00:00Z прошлый запуск"));
    const auto match =
        QRegularExpression(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ) Запуск «Толван»$"))
            .match(lines[1]);
    ASSERT_TRUE(match.hasMatch()) << lines[1].toStdString();
    EXPECT_LE(qAbs(QDateTime::fromString(match.captured(1), Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(lines[2], QStringLiteral("1.0"));
}

TEST(Log, LinesFromManyThreadsStayWhole)
{
    std::vector<QThread*> threads;
    for (int writer = 0; writer < 4; ++writer) {
        threads.push_back(QThread::create([writer] {
            for (int index = 0; index < 200; ++index)
                Log::info(
                    QStringLiteral("поток %1 строка %2 %3").arg(writer).arg(index).arg(QString(100, QLatin1Char('x'))));
        }));
        threads.back()->start();
    }
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 800);
    const QRegularExpression whole(QStringLiteral("^\\S+Z поток \\d строка \\d+ x{100}$"));
    for (const QString& line : lines)
        ASSERT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
}

TEST(Log, UnwritableFolderOnlyLosesTheFileLine)
{
    // A file where the folder should be: neither the folder nor app.log can be made.
    ASSERT_FALSE(TestFiles::write(Paths::logDir(), {}).isNull());

    testing::internal::CaptureStderr();
    Log::info(QStringLiteral("всё равно видно"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Tolvan] всё равно видно\n");
    EXPECT_TRUE(QFileInfo(Paths::logDir()).isFile());
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
