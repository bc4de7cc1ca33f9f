#pragma once

#include <QString>

// A clipboard outlives the program that set it only where someone keeps a copy: mutter does for native windows,
// wlroots does not, and X11 has a clipboard manager in most desktops but not in every session. Without one the
// text Tolvan put there would vanish when Tolvan quits: a small process of its own keeps serving it until another
// program's text replaces it or the session ends.
namespace ClipboardKeeper
{
enum class Side
{
    // Native Wayland windows, through data-control.
    wayland,
    x11,
};

// The hidden command-line flag of the keeping process for that side.
const char* flag(Side side);
// Starts the keeping process for the text and returns at once; false when it could not be started.
bool handOver(const QString& text, Side side);
// In the keeping process: the text (read from the file, which is then removed) becomes the clipboard of the
// seat's programs and is served until it is replaced or the compositor goes away. Exit status: 0, or 1 when the
// compositor offers no data-control or the file cannot be read.
int keepUntilReplaced(const QString& textFile);
// The same for X11 programs' clipboard. Exit status 0, or 1 when the file cannot be read or the clipboard taken.
int keepX11UntilReplaced(const QString& textFile);
} // namespace ClipboardKeeper
