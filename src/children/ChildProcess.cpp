#include "children/ChildProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace
{

// The children handed to end() that may still be running.
QList<QPointer<QProcess>>& ending()
{
    static QList<QPointer<QProcess>> processes;
    return processes;
}

QProcess* stillEnding()
{
    QList<QPointer<QProcess>>& processes = ending();
    processes.removeIf(
        [](const QPointer<QProcess>& process) { return !process || process->state() == QProcess::NotRunning; });
    return processes.isEmpty() ? nullptr : processes.front().data();
}

} // namespace

namespace ChildProcess
{

void end(QProcess* process, int graceMs)
{
    if (!process)
        return;
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject* application = QCoreApplication::instance();
    if (application && process->thread() == application->thread())
        process->setParent(application);
    ending().append(process);
    process->terminate();
    QTimer::singleShot(graceMs, process, [process] {
        if (process->state() != QProcess::NotRunning)
            process->kill();
    });
}

void release(QPointer<QProcess>& process, const QObject* owner, int graceMs)
{
    if (!process)
        return;
    process->disconnect(owner);
    end(process, graceMs);
    process = nullptr;
}

void whenEnded(QObject* context, std::function<void()> then)
{
    QProcess* process = stillEnding();
    if (!process) {
        then();
        return;
    }
    QObject::connect(
        process, &QProcess::finished, context, [context, then = std::move(then)] { whenEnded(context, then); },
        Qt::SingleShotConnection);
}

void finishEnding(int timeoutMs)
{
    QObject* application = QCoreApplication::instance();
    if (!application)
        return;
    QDeadlineTimer deadline(timeoutMs);
    for (QProcess* process : application->findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        if (process->state() != QProcess::NotRunning && !process->waitForFinished(int(deadline.remainingTime()))) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

int recognizerThreadCount(int onlineCores)
{
    return std::max(4, onlineCores - 2);
}

int recognizerThreadCount()
{
    return recognizerThreadCount(QThread::idealThreadCount());
}

} // namespace ChildProcess
