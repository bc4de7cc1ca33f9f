#include "platform/SignalWatcher.h"

#include "core/Log.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{

int signalPipe[2] = {-1, -1};

// Runs in signal context: only async-signal-safe calls.
void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), signalNumbers_(signalNumbers)
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Log::info(QStringLiteral("Не удалось перехватить сигналы завершения: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::drain);
    for (const int signalNumber : signalNumbers_)
        setHandler(signalNumber, forwardSignal);
}

SignalWatcher::~SignalWatcher()
{
    for (const int signalNumber : signalNumbers_)
        setHandler(signalNumber, SIG_DFL);
}

void SignalWatcher::drain()
{
    std::vector<int> received;
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        received.push_back(byte);
    for (const int signalNumber : received) {
        if (onSignal)
            onSignal(signalNumber);
    }
}
