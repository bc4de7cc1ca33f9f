#pragma once

#include "platform/WaylandRoute.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

// Keystrokes into the native windows of GNOME's compositor through mutter's remote-desktop service on the session
// bus (org.gnome.Mutter.RemoteDesktop): mutter itself posts them to the window that has the keyboard focus, as if
// from a keyboard of its own. One session serves the whole life of the app; one that mutter has dropped is
// opened again. Mutter tells nobody which native window has the focus: they all count as one, "the focused native
// window", whichever it is when the keys arrive. Calls block on the bus, a few seconds at most when mutter hangs.
class GnomeRoute : public WaylandRoute
{
public:
    static GnomeRoute& shared();

    // Opens the session on a worker thread when the session bus has mutter's remote desktop; false when it has not.
    // Until the session runs, and when mutter refuses it, no native window counts as focused.
    bool openInBackground();
    // Stops the session (at quit).
    void close();

    ActiveWindow::WindowId focusedWindow() override;
    bool activate(ActiveWindow::WindowId window) override;
    QStringList focusedWindowClass() override;
    Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                      const QString& pasted) override;

private:
    // The one identifier of native windows.
    static constexpr ActiveWindow::WindowId nativeWindow = ActiveWindow::nativeWindowBit | 1;

    GnomeRoute() = default;

    // How far a keystroke got: not at all (the first press failed), partly, or fully.
    enum class Typed
    {
        nothing,
        partly,
        yes
    };

    // Opens and starts the session unless one runs; false when the service is missing or mutter refuses it.
    bool open();
    bool openLocked();
    bool notify(const QString& method, quint32 key, bool pressed);
    Typed typeLocked(Keys::Keysym key, Keys::Modifiers modifiers);
    // Waits until mutter offers native windows the text Tolvan put on the clipboard: mutter copies a new X11
    // clipboard for them a few milliseconds later, and a paste before that inserts the clipboard's previous
    // content. False when it has not after a second.
    bool clipboardReachesNativeWindows();
    // The clipboard as native windows get it; nothing when mutter does not answer.
    std::optional<QString> nativeClipboardText();

    std::mutex mutex_;
    // The session's object path; empty while none runs.
    QString session_;
    // Whether the session may read the clipboard (EnableClipboard).
    bool clipboardShared_ = false;
    // Whether a session runs, for the callers that must not wait for the mutex.
    std::atomic<bool> running_ = false;
};
