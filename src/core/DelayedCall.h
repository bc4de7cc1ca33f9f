#pragma once

#include <QTimer>

#include <functional>

// One piece of delayed work that its owner can cancel or replace: scheduling again drops the pending
// call. Lives on, and fires on, the thread that created it; destroying it cancels the call.
class DelayedCall
{
public:
    DelayedCall();
    DelayedCall(const DelayedCall&) = delete;
    DelayedCall& operator=(const DelayedCall&) = delete;

    void schedule(int milliseconds, std::function<void()> function);
    void cancel();
    bool isPending() const { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> function_;
};
