#pragma once

#include <QString>
#include <QStringList>

// One modal alert: a short message, a longer explanation below it and the buttons, the first being the
// default one.
struct Alert
{
    QString message;
    QString informativeText;
    QStringList buttons;
};

// Shows modal alerts. Every alert of the application goes through the shared presenter, so that tests can
// install one that answers by script. Without an installed presenter the alert is only logged and the last
// button is taken as the answer.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;

    // Blocks until the user chooses; the index of the chosen button, or -1 when the alert was closed
    // without one.
    virtual int present(const Alert& alert) = 0;

    static AlertPresenter& shared();
    // Not owned; nullptr restores the logging default.
    static void setShared(AlertPresenter* presenter);
};
