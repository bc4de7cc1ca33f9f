#pragma once

#include <QProcess>
#include <QStringList>

// A session bus of the test's own, this process's session bus from then on, with one scripted D-Bus service on it:
// a python3 fake under tests/fakes that prints "READY" once it owns its name and then one line per call it is given.
class FakeSessionBus
{
public:
    explicit FakeSessionBus(QString script);
    ~FakeSessionBus();
    FakeSessionBus(const FakeSessionBus&) = delete;
    FakeSessionBus& operator=(const FakeSessionBus&) = delete;

    // The service, answering as the options say (see the fake); false when it never got its name.
    bool startService(const QStringList& options);
    void stopService();
    // A line to the service's standard input.
    void tell(const QString& line);

    // Every line the service printed so far.
    QStringList readCalls();
    bool waitForCall(const QString& call);

private:
    QString script_;
    QProcess bus_;
    QProcess service_;
    QStringList calls_;
};
