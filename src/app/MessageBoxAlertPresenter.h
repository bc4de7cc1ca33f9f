#pragma once

#include "core/AlertPresenter.h"

// Alerts as application-modal message boxes, raised above other windows: the tray application has no
// window of its own to come to the front with.
class MessageBoxAlertPresenter : public AlertPresenter
{
public:
    int present(const Alert& alert) override;
};
