#pragma once

#include <QString>

// Native windows' clipboard outlives the program that set it only where the compositor keeps a copy (mutter does,
// wlroots does not): on wlroots the text Tolvan put there would vanish when Tolvan quits. A small process of its own
// keeps serving it until another program's text replaces it or the session ends.
namespace ClipboardKeeper
{
// Starts the keeping process for the text and returns at once; false when it could not be started.
bool handOver(const QString& text);
// In the keeping process: the text (read from the file, which is then removed) becomes the clipboard of the
// seat's programs and is served until it is replaced or the compositor goes away. Exit status: 0, or 1 when the
// compositor offers no data-control or the file cannot be read.
int keepUntilReplaced(const QString& textFile);
} // namespace ClipboardKeeper
