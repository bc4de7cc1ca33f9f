#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

// Turns asynchronous Unix signals (SIGTERM, SIGINT) into calls of onSignal on the thread that owns the
// watcher, where it is safe to quit the event loop. One watcher per process; destroying it gives the
// signals their default action back.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

    std::function<void(int signalNumber)> onSignal;

private:
    void drain();

    std::vector<int> signalNumbers_;
    QSocketNotifier* notifier_ = nullptr;
};
