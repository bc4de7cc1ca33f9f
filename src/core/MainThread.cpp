#include "core/MainThread.h"

#include <QCoreApplication>
#include <QThread>

namespace MainThread
{

void post(QObject* context, std::function<void()> function)
{
    if (!context)
        return;
    QMetaObject::invokeMethod(context, std::move(function), Qt::QueuedConnection);
}

void post(std::function<void()> function)
{
    post(QCoreApplication::instance(), std::move(function));
}

bool isCurrent()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

} // namespace MainThread
