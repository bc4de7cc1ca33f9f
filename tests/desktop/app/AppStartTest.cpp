#include "core/Paths.h"
#include "support/TolvanProcess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

QString appLog()
{
    QFile file(Paths::logDir() + QStringLiteral("/app.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The X11 window tree, as xwininfo prints it.
QString windowTree()
{
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    xwininfo.waitForFinished(5000);
    return QString::fromUtf8(xwininfo.readAllStandardOutput());
}

class AppStart : public testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("TOLVAN_TEST_DESKTOP") != QLatin1String("1"))
            GTEST_SKIP() << "needs the desktop session of tests/desktop/with-desktop.sh";
    }
};

} // namespace

TEST_F(AppStart, StaysInTheTrayAndQuitsCleanlyOnSigterm)
{
    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(tolvanExecutable(), {});
    ASSERT_TRUE(app.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([] { return appLog().contains(QStringLiteral("Запуск «Толван» ")); }, 10000));

    // The icon's window is reparented into the tray host's panel.
    const QRegularExpression embeddedIcon(
        QStringLiteral("\"panel\": \\(\"panel\" \"trayer\"\\)[^\\n]*\\n(\\s+[^\\n]*\\n){0,4}\\s+0x[0-9a-f]+ "
                       "\"Толван\": \\(\"tolvan\" \"Tolvan\"\\)\\s+(1[6-9]|2\\d)x(1[6-9]|2\\d)"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return embeddedIcon.match(windowTree()).hasMatch(); }, 5000))
        << windowTree().toStdString();
    QTest::qWait(1000);
    ASSERT_EQ(app.state(), QProcess::Running);
    EXPECT_FALSE(appLog().contains(QStringLiteral("Системный трей недоступен")));

    app.terminate();
    ASSERT_TRUE(app.waitForFinished(5000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Завершение работы")));
}
