#include "core/DelayedCall.h"

DelayedCall::DelayedCall()
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        // Moved out first: the function may schedule the next call.
        auto function = std::move(function_);
        function_ = nullptr;
        if (function)
            function();
    });
}

void DelayedCall::schedule(int milliseconds, std::function<void()> function)
{
    function_ = std::move(function);
    timer_.start(milliseconds);
}

void DelayedCall::cancel()
{
    timer_.stop();
    function_ = nullptr;
}
