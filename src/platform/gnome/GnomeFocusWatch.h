#pragma once

#include <QObject>
#include <QSet>

class GnomeFocus;
class QDBusMessage;
class QSocketNotifier;
typedef struct _XDisplay Display;

// Feeds a GnomeFocus with what XWayland and the accessibility bus tell: every change of XWayland's active window,
// and the window:activate and window:deactivate events of the programs on the accessibility bus. Lives on the
// main thread, where the events are handled as they come, without waiting for anyone.
class GnomeFocusWatch : public QObject
{
    Q_OBJECT

public:
    explicit GnomeFocusWatch(GnomeFocus& focus, QObject* parent = nullptr);
    ~GnomeFocusWatch() override;

    // Follows XWayland's active window (DISPLAY); false without a display.
    bool watchX11();
    // Asks the programs on the accessibility bus for their window events. Blocks on the session bus and the
    // accessibility bus: call it off the main thread. False when the session has no accessibility bus.
    bool watchAccessibility();

private slots:
    void windowActivated(const QDBusMessage& message);
    void windowDeactivated(const QDBusMessage& message);
    void programNameAnswered(const QDBusMessage& answer);
    void busNameChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    void readX11Events();
    void activeX11WindowChanged(int changes);
    void askProgramName(const QString& program);

    GnomeFocus& focus_;
    Display* display_ = nullptr;
    unsigned long activeWindowAtom_ = 0;
    unsigned long pidAtom_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    // The programs asked for their names, by bus name.
    QSet<QString> namesAsked_;
};
