#pragma once

#include <QPointer>
#include <QProcess>

#include <functional>

// Ending child processes without ever blocking the caller.
namespace ChildProcess
{
// How long a child may take to exit after the polite request before it is killed.
constexpr int terminationGraceMs = 3000;

// Asks the child to terminate (SIGTERM), kills it (SIGKILL) if it is still alive after the grace period,
// and deletes the process object once the child is gone. The object is handed to the application object,
// so that quitting kills a child that is still lingering instead of waiting for it. The caller must not
// use the object afterwards and should have disconnected its own handlers first.
void end(QProcess* process, int graceMs = terminationGraceMs);

// The owner lets go of its child: the owner's handlers are disconnected, the child is ended as above (a
// child that already exited is only deleted) and the pointer is cleared. Does nothing without a child.
void release(QPointer<QProcess>& process, const QObject* owner, int graceMs = terminationGraceMs);

// Runs `then` once no child handed to end() is still running: at once when none is, else when the last has exited
// (the grace period bounds the wait). Nothing runs if `context` goes away first.
void whenEnded(QObject* context, std::function<void()> then);

// At quit: gives the children being ended up to timeoutMs in all to exit on their own, then kills the rest,
// so that none outlives the application.
void finishEnding(int timeoutMs = terminationGraceMs);

// max(4, online cores − 2): recognizers get every core but two, and never fewer than four threads.
int recognizerThreadCount(int onlineCores);
int recognizerThreadCount();
} // namespace ChildProcess
