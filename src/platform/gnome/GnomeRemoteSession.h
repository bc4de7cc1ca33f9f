#pragma once

#include <QString>

#include <functional>
#include <optional>

// One session of mutter's remote desktop (org.gnome.Mutter.RemoteDesktop on the session bus): keystrokes as from a
// keyboard of its own, and the clipboard as native windows get it. Every call waits at most a second for mutter;
// use it off the main thread. A call left without an answer may still be carried out later: from then on the
// session is given up, nothing waits for mutter any more, and what is still sent (the releases of the keys
// pressed) is sent in order before the session's stop. The session is stopped when the object goes.
class GnomeRemoteSession
{
public:
    enum class Reply
    {
        done,
        refused,
        // No answer in time: mutter may carry the call out yet, or not.
        none,
    };

    // Asks mutter for a session; path() stays empty when mutter does not give one.
    GnomeRemoteSession();
    ~GnomeRemoteSession();
    GnomeRemoteSession(const GnomeRemoteSession&) = delete;
    GnomeRemoteSession& operator=(const GnomeRemoteSession&) = delete;

    const QString& path() const { return path_; }
    // Starts the session: from here GNOME Shell shows its screen-sharing indicator. A start left unanswered counts
    // as made, to be stopped.
    Reply start();
    // Lets the session read the clipboard (EnableClipboard).
    bool shareClipboard();
    // The clipboard's text as native windows get it; nothing when mutter does not tell.
    std::optional<QString> nativeClipboardText(int timeoutMs);
    // A key by its evdev code, or by its keysym (byKeysym), pressed or released.
    Reply key(quint32 key, bool byKeysym, bool pressed);

    // Runs when mutter refuses to stop the session it started: someone else stopped it (GNOME Shell's
    // screen-sharing indicator does so). Mutter signals Closed before it answers any later call.
    std::function<void()> onStoppedElsewhere;

private:
    Reply call(const QString& method, const QVariantList& arguments, const QString& what);
    void stop();

    QString path_;
    bool started_ = false;
    bool givenUp_ = false;
};
