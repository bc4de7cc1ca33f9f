#pragma once

#include "platform/WaylandRoute.h"
#include "platform/gnome/GnomeFocus.h"
#include "platform/gnome/GnomeFocusWatch.h"
#include "platform/gnome/GnomeRemoteSession.h"

#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

// Keystrokes into the native windows of GNOME's compositor through mutter's remote desktop on the session bus
// (org.gnome.Mutter.RemoteDesktop): mutter posts them to the window that has the keyboard focus, as if from a
// keyboard of its own. GNOME Shell shows its screen-sharing indicator for as long as a remote-desktop session runs,
// and at least five seconds: so a session runs only for one keystroke (a few milliseconds to open and stop), and
// one the user stops from the indicator is respected until resume(). Which native window has the focus is told by
// GnomeFocus. Keystrokes block a worker thread for at most a few seconds; nothing else waits for mutter.
class GnomeRoute : public WaylandRoute
{
public:
    static GnomeRoute& shared();

    // Starts following the focus and looks for mutter's remote desktop on a worker thread. Main thread, once.
    void start();
    // At quit: stops a session still running, without waiting for mutter.
    void close() override;

    // Whether the user stopped a session from GNOME's screen-sharing indicator: no keystroke until a new dictation.
    bool stoppedByUser() const override { return stoppedByUser_; }
    // The user started a new dictation.
    void recordingStarted() override;
    // A session is made ready, not started, so that the paste does not wait for mutter to create one. Mutter shows
    // nothing for a session until it starts.
    void recordingEnded() override;
    // GNOME does not say what kind of program a native window belongs to.
    bool pastesBlind() const override { return true; }

    ActiveWindow::WindowId focusedWindow() override;
    // Mutter takes no request to focus a window: true only for the window that has the focus already.
    bool activate(ActiveWindow::WindowId window) override;
    QStringList focusedWindowClass() override;
    QStringList focusedProgram() override;
    // In a session of its own, opened and stopped around it. A paste (`pasted` given) is made once native
    // windows are offered exactly that text as the clipboard; nothing is pressed when they are not within a
    // second (mutter hands an X11 clipboard on to them a few milliseconds after it changed) or mutter cannot tell.
    Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                      const QString& pasted) override;
    bool waitsForPastedText() const override { return true; }

private:
    GnomeRoute() = default;

    // Whether the session bus has mutter's remote desktop; asked once, and then the accessibility bus is followed.
    bool isOffered();
    void watch();
    // The session made ready, started; else a new one. Nothing when mutter gives or starts none.
    std::unique_ptr<GnomeRemoteSession> startedSession();
    Keystroke paste(GnomeRemoteSession& session, ActiveWindow::WindowId target, Keys::Keysym key,
                    Keys::Modifiers modifiers, const QString& pasted);

    GnomeFocus focus_;
    // The application's child: it goes with the event loop it is fed by.
    QPointer<GnomeFocusWatch> focusWatch_;
    std::once_flag offerChecked_;
    std::atomic<bool> offered_ = false;
    std::atomic<bool> stoppedByUser_ = false;
    std::atomic<bool> closing_ = false;
    // One session at a time; it guards spare_ too.
    std::mutex keystrokeMutex_;
    std::unique_ptr<GnomeRemoteSession> spare_;
    // The running session's path, for close().
    std::mutex runningMutex_;
    QString running_;
};
