#include "support/FakeSessionBus.h"

#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

FakeSessionBus::FakeSessionBus(QString script) : script_(std::move(script))
{
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!QTest::qWaitFor([this] { return bus_.canReadLine(); }, 5000)) {
        ADD_FAILURE() << "dbus-daemon did not start";
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.readLine().trimmed());
}

FakeSessionBus::~FakeSessionBus()
{
    stopService();
    bus_.kill();
    bus_.waitForFinished();
}

bool FakeSessionBus::startService(const QStringList& options)
{
    stopService();
    calls_.clear();
    service_.start(QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")}),
                   QStringList{script_} + options);
    return QTest::qWaitFor([this] { return readCalls().contains(QStringLiteral("READY")); }, 10000);
}

void FakeSessionBus::stopService()
{
    service_.kill();
    service_.waitForFinished();
}

void FakeSessionBus::tell(const QString& line)
{
    service_.write((line + u'\n').toUtf8());
}

QStringList FakeSessionBus::readCalls()
{
    while (service_.canReadLine())
        calls_ << QString::fromUtf8(service_.readLine()).trimmed();
    return calls_;
}

bool FakeSessionBus::waitForCall(const QString& call)
{
    return QTest::qWaitFor([&] { return readCalls().contains(call); }, 10000);
}
