#pragma once

#include "core/AlertPresenter.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

// Installed for its lifetime as the shared presenter: answers each alert with the next scripted button
// title (an alert past the script, or without that button, takes its last button) and keeps every alert
// it was shown.
class ScriptedAlertPresenter : public AlertPresenter
{
public:
    ScriptedAlertPresenter() { AlertPresenter::setShared(this); }
    ~ScriptedAlertPresenter() override { AlertPresenter::setShared(nullptr); }
    ScriptedAlertPresenter(const ScriptedAlertPresenter&) = delete;
    ScriptedAlertPresenter& operator=(const ScriptedAlertPresenter&) = delete;

    int present(const Alert& alert) override
    {
        alerts.push_back(alert);
        const int last = static_cast<int>(alert.buttons.size()) - 1;
        if (answers.empty())
            return last;
        const qsizetype chosen = alert.buttons.indexOf(answers.front());
        answers.pop_front();
        return chosen < 0 ? last : static_cast<int>(chosen);
    }

    // The message of every alert so far, in order.
    QStringList messages() const
    {
        QStringList result;
        for (const Alert& alert : alerts)
            result.append(alert.message);
        return result;
    }

    std::deque<QString> answers;
    std::vector<Alert> alerts;
};
