#pragma once

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
constexpr int pasteDelayMs = 80;
constexpr int restoreDelayMs = 1000;
// How long a keystroke waits for the user to let go of Ctrl, Shift, Alt or Super.
constexpr int modifierReleaseTimeoutMs = 1000;

// The text (plus a space with "appendSpace") onto the clipboard, then, with "autoPaste", the paste
// keystroke 80 ms later, after the pastes and copies asked for before (they run one at a time); with "restoreClipboard"
// the previous clipboard text comes back one second after the keystroke, unless the clipboard no longer holds exactly
// the inserted text.
// `notPasted` runs on the main thread when no paste could be made: another program kept the clipboard (false), or
// no keystroke could be posted (true: the text waits on the clipboard).
void insert(const QString& text, std::function<void(bool onClipboard)> notPasted = {});
// The text (plus a space with "appendSpace") onto the clipboard only, for the user to paste, after the pastes asked
// for before.
void copy(const QString& text);
// Exactly this text onto the clipboard only, after the pastes asked for before.
void copyRaw(const QString& text);
// Exactly this text onto the clipboard and pasted, whatever the settings; nothing is restored.
void pasteRaw(const QString& text);
// Copies the focused window's selection to the clipboard (Ctrl+C, Ctrl+Shift+C in a terminal); returns at once.
// `posted` runs on the main thread, while the context lives, once the keystroke is out, which waits for the modifiers
// to be released.
void copySelection(QObject* context, std::function<void()> posted);
// One key press and release with these modifiers, once the user holds no modifier key (at most
// modifierReleaseTimeoutMs). Blocks for that long: call it off the main thread. False when it could not be posted.
bool postKey(Keys::Keysym key, Keys::Modifiers modifiers);
// Whether a window class (instance and class name) belongs to a terminal emulator, where Ctrl+V and
// Ctrl+C type control characters and Ctrl+Shift+V / Ctrl+Shift+C paste and copy.
bool isTerminal(const QStringList& windowClass);
} // namespace TextInserter
