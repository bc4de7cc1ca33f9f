#include "platform/gnome/GnomeFocusWatch.h"

#include "core/Log.h"
#include "platform/AccessibilityBus.h"
#include "platform/DisplayLoss.h"
#include "platform/gnome/GnomeFocus.h"
#include "platform/x11/X11ErrorTrap.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <QStringList>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <unistd.h>

namespace
{

const QString accessibilityBusName = QStringLiteral("tolvan-accessibility");
const QString windowEvents = QStringLiteral("org.a11y.atspi.Event.Window");

// One 32-bit value of a window's property; 0 when it has none.
unsigned long cardinalProperty(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count,
                                          &remaining, &data);
    unsigned long value = 0;
    if (status == Success && actualType == type && format == 32 && count == 1 && data)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    return value;
}

} // namespace

GnomeFocusWatch::GnomeFocusWatch(GnomeFocus& focus, QObject* parent) : QObject(parent), focus_(focus) {}

GnomeFocusWatch::~GnomeFocusWatch()
{
    delete notifier_;
    if (display_)
        XCloseDisplay(display_);
}

bool GnomeFocusWatch::watchX11()
{
    if (display_)
        return true;
    display_ = XOpenDisplay(nullptr);
    if (!display_)
        return false;
    DisplayLoss::sparesOtherThreads(display_);
    activeWindowAtom_ = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    pidAtom_ = XInternAtom(display_, "_NET_WM_PID", False);
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    XFlush(display_);
    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &GnomeFocusWatch::readX11Events);
    return true;
}

bool GnomeFocusWatch::watchAccessibility()
{
    const std::optional<QString> problem = AccessibilityBus::connect(
        accessibilityBusName, {QStringLiteral("window:activate"), QStringLiteral("window:deactivate")},
        [this](QDBusConnection& bus) {
            // The sender is left open: Qt would ask the bus who owns a name, and programs send these from their own.
            bus.connect({}, {}, windowEvents, QStringLiteral("Activate"), this, SLOT(windowActivated(QDBusMessage)));
            bus.connect({}, {}, windowEvents, QStringLiteral("Deactivate"), this,
                        SLOT(windowDeactivated(QDBusMessage)));
            bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                        SLOT(busNameChanged(QString, QString, QString)));
        });
    if (problem) {
        Log::info(QStringLiteral("Окна GNOME не различаются: ") + *problem);
        return false;
    }
    Log::info(QStringLiteral("Окна GNOME различаются по событиям шины специальных возможностей"));
    return true;
}

void GnomeFocusWatch::windowActivated(const QDBusMessage& message)
{
    focus_.accessibleActivated(message.service(), message.path());
    if (!namesAsked_.contains(message.service()))
        askProgramName(message.service());
}

// Its application's name, asked without waiting: the answer comes long before a dictation ends.
void GnomeFocusWatch::askProgramName(const QString& program)
{
    namesAsked_.insert(program);
    QDBusMessage question =
        QDBusMessage::createMethodCall(program, QStringLiteral("/org/a11y/atspi/accessible/root"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    question.setArguments({QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")});
    QDBusConnection(accessibilityBusName)
        .callWithCallback(question, this, SLOT(programNameAnswered(QDBusMessage)), AccessibilityBus::callTimeoutMs);
}

void GnomeFocusWatch::programNameAnswered(const QDBusMessage& answer)
{
    const QString name = answer.arguments().value(0).value<QDBusVariant>().variant().toString();
    if (!name.isEmpty())
        focus_.programNamed(answer.service(), name);
}

void GnomeFocusWatch::windowDeactivated(const QDBusMessage& message)
{
    focus_.accessibleDeactivated(message.service(), message.path());
}

void GnomeFocusWatch::busNameChanged(const QString& name, const QString& oldOwner, const QString& newOwner)
{
    if (!oldOwner.isEmpty() && newOwner.isEmpty()) {
        focus_.programGone(name);
        namesAsked_.remove(name);
    }
}

void GnomeFocusWatch::readX11Events()
{
    int changes = 0;
    while (display_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == activeWindowAtom_)
            ++changes;
    }
    if (changes > 0)
        activeX11WindowChanged(changes);
}

void GnomeFocusWatch::activeX11WindowChanged(int changes)
{
    X11ErrorTrap trap(display_);
    const Window root = DefaultRootWindow(display_);
    const auto window = static_cast<Window>(cardinalProperty(display_, root, activeWindowAtom_, XA_WINDOW));
    const bool own = window != None && cardinalProperty(display_, window, pidAtom_, XA_CARDINAL) ==
                                           static_cast<unsigned long>(::getpid());
    // Of several changes read at once only the last is known: the windows active before it may have been anyone's.
    if (changes > 1 || (window != None && !own))
        focus_.foreignX11WindowActivated();
}
