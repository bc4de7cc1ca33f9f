#include "platform/DisplayLoss.h"

#include "core/Log.h"
#include "core/MainThread.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

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

// Static objects are left alone: some hold connections that are gone.
void takeLastStepAndEnd()
{
    static bool taken = false;
    if (taken || !lastStep || !onMainThread())
        return;
    taken = true;
    (*lastStep)();
    std::fflush(nullptr);
    _exit(0);
}

// Qt's event loop warns that the connection broke right before it calls exit(1).
void noticeMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (xcb_connection_has_error(qtConnection))
        takeLastStepAndEnd();
    qtMessageHandler(type, context, message);
}

// Xlib's own report of the break is left out: the process is about to end anyway, or the thread goes on. Xlib
// ends the process once this returns, unless the connection spares other threads.
int noticeBrokenConnection(Display*)
{
    takeLastStepAndEnd();
    return 0;
}

void exitOnMainThreadOnly(Display*, void*)
{
    if (onMainThread())
        takeLastStepAndEnd();
}

} // namespace

namespace DisplayLoss
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

void compositorGone()
{
    Log::info(QStringLiteral("Связь с композитором Wayland потеряна — завершение работы"));
    MainThread::post(takeLastStepAndEnd);
}

} // namespace DisplayLoss
