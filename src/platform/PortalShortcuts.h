#pragma once

#include "platform/Keys.h"

#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

// Global shortcuts of a Wayland session through the desktop portal (org.freedesktop.portal.GlobalShortcuts on the
// session bus): one session, shortcuts bound to it once, and their presses and releases wherever the focus is. The
// desktop decides the actual keys (KDE Plasma asks the user, proposing the preferred ones). Nothing here waits for
// the bus: every call is asynchronous and the portal's answers arrive as signals. Lives on the main thread; the
// handlers run there, never from inside start().
class PortalShortcuts
{
public:
    struct Shortcut
    {
        QString id;
        QString description;
        // In the portal's syntax ("CTRL+SHIFT+space"); empty leaves the choice to the user.
        QString preferredTrigger;
    };

    PortalShortcuts();
    ~PortalShortcuts();
    PortalShortcuts(const PortalShortcuts&) = delete;
    PortalShortcuts& operator=(const PortalShortcuts&) = delete;

    // "LOGO+SHIFT+space", "ALT+space", "F6".
    static QString trigger(const Keys::Combination& combination);

    // Asks the portal for a session and binds the shortcuts to it; once.
    void start(const std::vector<Shortcut>& shortcuts);

    // The portal bound these shortcuts: id → how the desktop says it is triggered (may be empty).
    std::function<void(const QVariantMap& triggers)> onBound;
    // The portal lacks global shortcuts, did not answer, or refused: the reason, for the log.
    std::function<void(const QString& reason)> onUnavailable;
    std::function<void(const QString&id)> onActivated, onDeactivated;

private:
    class Listener;

    void createSession();
    void sessionCreated(uint response, const QVariantMap& results);
    void bindShortcuts();
    void shortcutsBound(uint response, const QVariantMap& results);
    void shortcutEvent(const QString& session, const QString& id, bool pressed);
    void call(const QString& method, const QVariantList& arguments, const QString& what);
    void fail(const QString& reason);

    std::unique_ptr<Listener> listener_;
    std::vector<Shortcut> shortcuts_;
    QString sessionPath_;
    bool started_ = false;
    bool failed_ = false;
};
