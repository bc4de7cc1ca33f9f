#pragma once

#include <QString>

// The application's diagnostic channel. Each message becomes one line "<UTC time> <message>" appended to
// $XDG_STATE_HOME/Tolvan/app.log and is mirrored to standard error as "[Tolvan] <message>". Callable
// from any thread; it never fails: when the file cannot be written only the file line is lost.
namespace Log
{
void info(const QString& message);
// The log folder, fixed at the first use in the process.
QString directory();
} // namespace Log
