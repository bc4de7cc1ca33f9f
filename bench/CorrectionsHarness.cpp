// What following a field for the user's fixes costs, under headless mutter with a native GTK text view: the app's CPU
// time over ten idle seconds with «Учиться на моих исправлениях» off and on, and over ten seconds of typing in a
// followed field (a word replaced RATE times a second, RATE=N: N, default 10 — a delete and an insert each); and the
// calls the app made on the accessibility bus for the paste, during the typing and for the commit (the focus moving to
// another field), as dbus-monitor saw them. Printed, never asserted. Run it under the rig: bench/corrections.sh.
#include "WaylandRig.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>
#include <unistd.h>

namespace
{

const int rate = qEnvironmentVariableIntValue("RATE") > 0 ? qEnvironmentVariableIntValue("RATE") : 10;
constexpr int seconds = 10;

// The process's user and system time so far, in milliseconds.
double cpuMs(qint64 pid)
{
    const QByteArray stat = TestFiles::read(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU time the app used while `during` ran, in per cent of one core (the kernel counts it in 10 ms steps).
double cpuPercent(qint64 pid, const std::function<void()>& during)
{
    QElapsedTimer clock;
    clock.start();
    const double before = cpuMs(pid);
    during();
    return (cpuMs(pid) - before) * 100.0 / static_cast<double>(clock.elapsed());
}

// Watches the method calls on the session's accessibility bus.
class BusCalls
{
public:
    explicit BusCalls(const Compositor& desktop)
    {
        QString address;
        DesktopRig::run(QStringLiteral("env"),
                        {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") +
                             desktop.session().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")),
                         QStringLiteral("dbus-send"), QStringLiteral("--session"), QStringLiteral("--print-reply"),
                         QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                         QStringLiteral("org.a11y.Bus.GetAddress")},
                        &address);
        static const QRegularExpression quoted(QStringLiteral("\"(.*)\""));
        monitor_.start(QStringLiteral("dbus-monitor"), {QStringLiteral("--address"), quoted.match(address).captured(1),
                                                        QStringLiteral("type='method_call'")});
        monitor_.waitForStarted(5000);
    }
    ~BusCalls()
    {
        monitor_.kill();
        monitor_.waitForFinished(3000);
    }

    // The calls made since the last look by the connection that asks the registry for text changes: the app's
    // connection for the text fields. Member names in order.
    QStringList appsCallsSinceLastLook()
    {
        // dbus-monitor's output may trail the calls by a moment.
        QTest::qWait(300);
        output_ += QString::fromUtf8(monitor_.readAllStandardOutput());
        static const QRegularExpression call(
            QStringLiteral("^method call .* sender=(\\S+) .* member=(\\S+)$(?=\\n(.*))"),
            QRegularExpression::MultilineOption);
        for (auto match = call.globalMatch(output_); app_.isEmpty() && match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            if (found.captured(2) == QLatin1String("RegisterEvent") &&
                found.captured(3).contains(QLatin1String("object:text-changed")))
                app_ = found.captured(1);
        }
        QStringList members;
        for (auto match = call.globalMatch(output_); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            if (found.captured(1) == app_)
                members << found.captured(2);
        }
        output_.clear();
        return members;
    }

private:
    QProcess monitor_;
    QString output_;
    QString app_;
};

} // namespace

TEST(Corrections, FollowingAFieldWhileTheUserTypes)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    for (const bool on : {false, true}) {
        const auto app = startApp(mutter.session(), {{SettingsKey::learnFromCorrections, on}});
        ASSERT_TRUE(app->waitUntilReady());
        // The field comes after the app: the app learns of a field from its taking the focus.
        const auto field = mutter.nativeTextField(true);
        ASSERT_TRUE(field->isReady());
        QTest::qWait(2000);
        std::printf("idle, learning %s: %.2f %% of a core\n", on ? "on " : "off",
                    cpuPercent(app->process().processId(), [] { QTest::qWait(seconds * 1000); }));
        if (!on)
            continue;

        BusCalls calls(mutter);
        dictateWithTheCommand(*app);
        ASSERT_TRUE(app->logShows(QStringLiteral("Поле со вставленным текстом отслеживается"), 8000))
            << app->log().toStdString();
        const QStringList forThePaste = calls.appsCallsSinceLastLook();
        const double typing = cpuPercent(app->process().processId(), [&] {
            for (int change = 0; change < seconds * rate; ++change) {
                const bool even = change % 2 == 0;
                field->replace(even ? QStringLiteral("Вторая") : QStringLiteral("Вторые"),
                               even ? QStringLiteral("Вторые") : QStringLiteral("Вторая"));
                QTest::qWait(1000 / rate);
            }
        });
        const QStringList whileTyping = calls.appsCallsSinceLastLook();
        const auto other = mutter.nativeTextField(true);
        ASSERT_TRUE(other->isReady());
        const QStringList forTheCommit = calls.appsCallsSinceLastLook();
        std::printf("typing in the followed field (%d changes a second): %.2f %% of a core\n", rate, typing);
        std::printf("calls on the accessibility bus: paste %lld (%s); typing %lld; commit %lld (%s)\n",
                    static_cast<long long>(forThePaste.size()), qPrintable(forThePaste.join(u' ')),
                    static_cast<long long>(whileTyping.size()), static_cast<long long>(forTheCommit.size()),
                    qPrintable(forTheCommit.join(u' ')));
    }
}
