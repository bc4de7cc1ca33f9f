#include "platform/X11DisplayLoss.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace
{

// Left alive on purpose: exit() may still call into these after static objects are gone.
std::function<void()>* lastStep = nullptr;
xcb_connection_t* qtConnection = nullptr;
QtMessageHandler qtMessageHandler = nullptr;

bool onMainThread()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

void takeLastStep()
{
    static bool taken = false;
    if (taken || !lastStep || !onMainThread())
        return;
    taken = true;
    (*lastStep)();
}

// Qt's event loop warns that the connection broke right before it calls exit(1).
void noticeMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (xcb_connection_has_error(qtConnection))
        takeLastStep();
    qtMessageHandler(type, context, message);
}

// Xlib's own report of the break is left out: the process is about to end anyway, or the thread goes on.
int noticeBrokenConnection(Display*)
{
    takeLastStep();
    return 0;
}

void exitOnMainThreadOnly(Display*, void*)
{
    if (onMainThread())
        std::exit(1);
}

} // namespace

namespace X11DisplayLoss
{

void setLastStep(std::function<void()> step)
{
    lastStep = new std::function<void()>(std::move(step));
    XSetIOErrorHandler(noticeBrokenConnection);
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    qtConnection = x11->connection();
    qtMessageHandler = qInstallMessageHandler(noticeMessage);
}

void sparesOtherThreads(Display* display)
{
    XSetIOErrorExitHandler(display, exitOnMainThreadOnly, nullptr);
}

} // namespace X11DisplayLoss
