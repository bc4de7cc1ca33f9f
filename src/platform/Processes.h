#pragma once

#include <QString>
#include <QStringList>

class QProcess;

// The operating system's side of the programs Tolvan runs: children that end with it, and earlier copies
// of a program that were left running.
namespace Processes
{
// The child gets SIGTERM when the thread that starts it ends, which for a child started on the main thread
// (or on a worker that lives as long as the process) is the end of Tolvan, a crash or SIGKILL included. A
// child whose parent is already gone by the time it runs ends at once. The child inherits no descriptor of the app's
// but its standard ones. Call before start().
void endWithParent(QProcess& process);
// The same with SIGKILL, for a program that may ignore SIGTERM and has nothing to save.
void killWithParent(QProcess& process);
// Sends SIGTERM to every process of this user, this one excepted, that runs this program file (the same
// file, whatever path or name started it; or the file that stood at this path before it was replaced).
// Answers how many were signalled.
int terminateInstances(const QString& program);
// Starts a program (found on PATH) that outlives Tolvan, in a session of its own, with its standard input and
// output on /dev/null and no other descriptor of the app's. False when it could not be started.
bool startDetached(const QString& program, const QStringList& arguments);
// The processor time a process has used so far (user and system, all threads), in ms; 0 when it cannot be read.
qint64 cpuTimeMs(qint64 pid);
} // namespace Processes
