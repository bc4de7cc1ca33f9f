#pragma once

#include "platform/ActiveWindow.h"
#include "platform/Keys.h"

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

// Puts a finished text into the focused application the way a user would: the text goes onto the
// clipboard (where it stays, so it can always be pasted by hand) and a synthetic paste keystroke follows.
// Steered by the settings "appendSpace", "restoreClipboard" and "autoPaste". Call on the main thread.
namespace TextInserter
{
// From the text on the clipboard to the paste keystroke, where the route cannot tell when the target may read it.
constexpr int pasteDelayMs = 80;
constexpr int restoreDelayMs = 1000;
// How long a keystroke waits for the user to let go of Ctrl, Shift, Alt or Super.
constexpr int modifierReleaseTimeoutMs = 1000;

// What became of a text for a window.
enum class Outcome
{
    pasted,
    // Only copied, by the settings.
    copied,
    // No paste was made: the window left the front, no keystroke could be posted, or the user held a modifier key
    // that would have changed it. The text is on the clipboard, for native Wayland windows too.
    onClipboard,
    // The user still held a modifier key (e.g. right Alt for the next recording): nothing was sent, and the text is
    // on the clipboard.
    modifiersHeld,
    // Another program kept the clipboard: nothing was pasted, and the text is not on the clipboard.
    clipboardTaken,
};

// The text (plus a space with "appendSpace") onto the clipboard, then, with "autoPaste", the paste keystroke 80 ms
// later into `target` (0: whichever window has the focus) — only while it still has the focus —, after the pastes
// and copies asked for before (they run one at a time); with "restoreClipboard" the previous clipboard text comes
// back one second after the keystroke, unless the clipboard no longer holds exactly the inserted text.
// `done` runs on the main thread once the keystroke went out or was given up. A text pasted into a terminal (or a
// window whose kind the route cannot tell) loses its trailing white space: a final line feed would run the command.
void insert(const QString& text, ActiveWindow::WindowId target = 0, std::function<void(Outcome)> done = {});
// The text (plus a space with "appendSpace") onto the clipboard only, for the user to paste, after the pastes asked
// for before.
void copy(const QString& text);
// Exactly this text onto the clipboard only, after the pastes asked for before.
void copyRaw(const QString& text);
// This text onto the clipboard and pasted, whatever the settings (into a terminal without trailing white space);
// nothing is restored.
void pasteRaw(const QString& text);
// Copies the focused X11 window's selection to the clipboard (Ctrl+C, Ctrl+Shift+C in a terminal); returns at once.
// `posted` runs on the main thread, while the context lives, once the keystroke is out, which waits for the modifiers
// to be released. Never into a native Wayland window: whether it is a terminal, where Ctrl+C ends the running
// command, cannot be known for sure.
void copySelection(QObject* context, std::function<void()> posted);
} // namespace TextInserter
