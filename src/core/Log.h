#pragma once

#include <QString>

// The application's diagnostic channel. Each message becomes one line "<UTC time> <message>" appended to
// $XDG_STATE_HOME/Tolvan/app.log and is mirrored to standard error as "[Tolvan] <message>". Callable
// from any thread; it never fails: when the file cannot be written only the file line is lost.
// The logs quote what the user said: the folder is made 0700 when it is created here and every log file 0600
// (files and a folder that exist keep their mode). A log that has grown to rotateAtBytes becomes "<name>.1",
// replacing the one before, and starts anew.
namespace Log
{
constexpr qint64 rotateAtBytes = 5 * 1024 * 1024;

void info(const QString& message);
// The log folder, fixed at the first use in the process.
QString directory();
// The log of a child program (server.log, advisor.log) that writes to it by itself, in append mode: rotated
// when full and created when absent, before the child starts. Empty when it cannot be opened.
QString childLog(const QString& name);
} // namespace Log
