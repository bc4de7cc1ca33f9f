#pragma once

#include "platform/ActiveWindow.h"
#include "platform/Keys.h"

#include <QString>
#include <QStringList>

#include <optional>

// Text delivery into the native windows of a Wayland compositor: which one has the focus, bringing one to the
// front, keystrokes into it. X11 windows (XWayland) keep the X11 route; KeyInjector and ActiveWindow use this
// one while no X11 window is active. Every member may be called from any thread; those that may wait for the
// compositor say so, and wait at most about a second.
class WaylandRoute
{
public:
    virtual ~WaylandRoute() = default;

    // The route of this session's compositor, chosen once from DesktopSession::deliveryRoute(); one that reaches
    // no native window where the compositor offers none (they then get the text on the clipboard).
    static WaylandRoute& shared();

    // Whether the compositor gave Tolvan a way to native windows: their keys, or their clipboard at least.
    virtual bool reachesNativeWindows() const { return true; }

    // The focused native window (nativeWindowBit set), or 0 when none is or the compositor does not tell. Two
    // calls give the same identifier only for what the route knows to be the same window. Never waits for the
    // compositor.
    virtual ActiveWindow::WindowId focusedWindow() = 0;
    // Asks the compositor to focus the native window; false when it no longer exists.
    virtual bool activate(ActiveWindow::WindowId window) = 0;
    // The focused native window's identity, e.g. {app_id}, for the terminal rule; empty when unknown. Never waits.
    virtual QStringList focusedWindowClass() = 0;
    // The focused native window's program, for the shape of the text it gets: its class where the route knows it,
    // else the name its program gives itself (on the accessibility bus), which says nothing sure of the kind of
    // window. Empty when unknown. Never waits.
    virtual QStringList focusedProgram() { return focusedWindowClass(); }

    // What became of a keystroke.
    enum class Keystroke
    {
        posted,
        // The target no longer had the focus: nothing was sent.
        targetLeft,
        // A paste whose text could not be made the clipboard of native windows: nothing was sent.
        clipboardNotOurs,
        failed,
    };
    // Presses the modifiers, the key, and releases them all, into the focused native window — only while it is
    // `target` (0: whichever has the focus), checked in one step with the keys. For a paste, `pasted` is the text
    // the native windows' clipboard must hold first. Waits for the compositor: call it off the UI thread.
    virtual Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                              const QString& pasted = {}) = 0;

    // Whether postKey waits by itself until native windows are offered `pasted`: then nothing need wait before it.
    virtual bool waitsForPastedText() const { return false; }
    // Whether the route cannot tell what kind of program a native window belongs to, so that a paste into one whose
    // class is unknown uses Shift+Insert with the text on both the clipboard and the primary selection.
    virtual bool pastesBlind() const { return false; }

    // A dictation began: a stop of keystrokes the user asked for ends (see stoppedByUser).
    virtual void recordingStarted() {}
    // A recording ended and its text may soon be pasted: the route may make ready what the paste needs. Returns at
    // once.
    virtual void recordingEnded() {}
    // Whether the user stopped the route's keystrokes through the desktop until the next dictation.
    virtual bool stoppedByUser() const { return false; }
    // At quit: lets go of what the route holds in the compositor, without waiting for it.
    virtual void close() {}

    // Whether native windows' clipboard is kept apart from X11 programs' (wlroots), so that text reaches it, is
    // read from it and put back on it through the route; elsewhere (mutter) the compositor bridges the two itself.
    virtual bool hasOwnClipboard() const { return false; }
    // Makes the text native windows' clipboard too, where it is kept apart. Returns at once.
    virtual void shareClipboard(const QString&) {}
    // Native windows' clipboard text, where it is kept apart; nothing when it holds no text or its owner does not
    // answer. Waits for the compositor.
    virtual std::optional<QString> clipboardText() { return std::nullopt; }
    // Puts `previous` back on native windows' clipboard, where it is kept apart, unless it no longer holds
    // `inserted`. True when restored. Waits for the compositor.
    virtual bool restoreClipboard(const QString& /*inserted*/, const QString& /*previous*/) { return false; }
    // What is selected in the focused native window (its primary selection), where X11 programs cannot read it.
    virtual std::optional<QString> selectedText() { return std::nullopt; }
    // The text native windows' clipboard holds because we put it there, for keeping it after quit; empty when
    // another program's text is there, or the compositor keeps the clipboard itself.
    virtual QString clipboardToKeep() { return {}; }
};
