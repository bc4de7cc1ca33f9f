#pragma once

#include <QString>

// What Tolvan itself last put on the clipboard, readable from any thread: the Wayland routes hand it to native
// windows, or wait until the compositor has. Another program's text is never asked for (a program that hangs
// would keep the UI thread waiting).
namespace OwnClipboard
{
// Starts following the clipboard (once; the following itself runs on the main thread).
void follow();
// The text we put there last, also after another owner (a compositor's copy of it) took over; empty before.
QString lastText();
// That text while we still own the clipboard; empty once another program took it over.
QString textWhileOwned();
} // namespace OwnClipboard
