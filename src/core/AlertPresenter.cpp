#include "core/AlertPresenter.h"

#include "core/Log.h"

#include <atomic>

namespace
{

class LoggingAlertPresenter : public AlertPresenter
{
public:
    int present(const Alert& alert) override
    {
        const int answer = static_cast<int>(alert.buttons.size()) - 1;
        Log::info(QStringLiteral("Окно без интерфейса: %1 — %2 [%3] → %4")
                      .arg(alert.message, alert.informativeText, alert.buttons.join(QStringLiteral(" | ")),
                           alert.buttons.value(answer)));
        return answer;
    }
};

std::atomic<AlertPresenter*> installed{nullptr};

} // namespace

AlertPresenter& AlertPresenter::shared()
{
    if (AlertPresenter* presenter = installed.load())
        return *presenter;
    static LoggingAlertPresenter fallback;
    return fallback;
}

void AlertPresenter::setShared(AlertPresenter* presenter)
{
    installed.store(presenter);
}
