#include "platform/PortalShortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

#include <utility>

namespace
{

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
constexpr int callTimeoutMs = 5000;

// The portal's shortcut list, a(sa{sv}): an id and its properties.
using ShortcutList = QList<std::pair<QString, QVariantMap>>;

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

QDBusMessage portalCall(const QString& interface, const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, portalPath, interface, method);
    message.setArguments(arguments);
    return message;
}

QString newToken()
{
    static int counter = 0;
    return QStringLiteral("tolvan%1").arg(++counter);
}

QString keyName(Keys::Keysym key)
{
    switch (key) {
    case Keys::space:
        return QStringLiteral("space");
    case Keys::f6:
        return QStringLiteral("F6");
    default:
        return key < 0x80 ? QString(QChar(key)) : QString();
    }
}

} // namespace

// Takes the portal's signals for its owner: the Response of the one request under way, and the shortcuts' presses.
class PortalShortcuts::Listener : public QObject
{
    Q_OBJECT

public:
    explicit Listener(PortalShortcuts& owner) : owner_(owner) {}

    // Runs `answered` with the Response of the request with this token. Subscribes before the call that makes the
    // request: its path is known beforehand (our unique name without ':', '.' as '_'), and the answer may follow
    // the call's return at once.
    void expectResponse(const QString& token, std::function<void(uint, const QVariantMap&)> answered)
    {
        const QString sender = bus().baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        requestPath_ = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
        answered_ = std::move(answered);
        bus().connect(service, requestPath_, requestInterface, QStringLiteral("Response"), this,
                      SLOT(response(uint, QVariantMap)));
    }
    void listenToShortcuts()
    {
        bus().connect(service, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                      SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        bus().connect(service, portalPath, shortcutsInterface, QStringLiteral("Deactivated"), this,
                      SLOT(deactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    }

private slots:
    void response(uint code, const QVariantMap& results)
    {
        bus().disconnect(service, requestPath_, requestInterface, QStringLiteral("Response"), this,
                         SLOT(response(uint, QVariantMap)));
        if (const auto answered = std::exchange(answered_, nullptr))
            answered(code, results);
    }
    void activated(const QDBusObjectPath& session, const QString& id, qulonglong, const QVariantMap&)
    {
        owner_.shortcutEvent(session.path(), id, true);
    }
    void deactivated(const QDBusObjectPath& session, const QString& id, qulonglong, const QVariantMap&)
    {
        owner_.shortcutEvent(session.path(), id, false);
    }

private:
    PortalShortcuts& owner_;
    QString requestPath_;
    std::function<void(uint, const QVariantMap&)> answered_;
};

PortalShortcuts::PortalShortcuts() : listener_(std::make_unique<Listener>(*this))
{
    qDBusRegisterMetaType<std::pair<QString, QVariantMap>>();
    qDBusRegisterMetaType<ShortcutList>();
}

PortalShortcuts::~PortalShortcuts()
{
    // The portal drops the session with our connection too; closing says so at once.
    if (!sessionPath_.isEmpty())
        bus().send(QDBusMessage::createMethodCall(service, sessionPath_, sessionInterface, QStringLiteral("Close")));
}

QString PortalShortcuts::trigger(const Keys::Combination& combination)
{
    const QString key = keyName(combination.key);
    if (key.isEmpty())
        return {};
    QStringList parts;
    if (combination.modifiers & Keys::control)
        parts << QStringLiteral("CTRL");
    if (combination.modifiers & Keys::alt)
        parts << QStringLiteral("ALT");
    if (combination.modifiers & Keys::shift)
        parts << QStringLiteral("SHIFT");
    if (combination.modifiers & Keys::super)
        parts << QStringLiteral("LOGO");
    parts << key;
    return parts.join(QLatin1Char('+'));
}

void PortalShortcuts::start(const std::vector<Shortcut>& shortcuts)
{
    if (started_)
        return;
    started_ = true;
    shortcuts_ = shortcuts;
    // The interface exists when it has a version: portals before 1.16, and GNOME's, have none.
    const QDBusMessage get = portalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {shortcutsInterface, QStringLiteral("version")});
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(get, callTimeoutMs), listener_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, listener_.get(), [this, watcher] {
        watcher->deleteLater();
        if (watcher->isError())
            return fail(
                QStringLiteral("портал не предлагает глобальных сочетаний (%1)").arg(watcher->error().message()));
        createSession();
    });
}

void PortalShortcuts::createSession()
{
    const QString token = newToken();
    listener_->expectResponse(token,
                              [this](uint response, const QVariantMap& results) { sessionCreated(response, results); });
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("session_handle_token"), newToken()}};
    call(QStringLiteral("CreateSession"), {options}, QStringLiteral("создание сеанса"));
}

void PortalShortcuts::sessionCreated(uint response, const QVariantMap& results)
{
    sessionPath_ = results.value(QStringLiteral("session_handle")).toString();
    if (response != 0 || sessionPath_.isEmpty())
        return fail(QStringLiteral("портал не открыл сеанс (ответ %1)").arg(response));
    listener_->listenToShortcuts();
    bindShortcuts();
}

void PortalShortcuts::bindShortcuts()
{
    ShortcutList list;
    for (const Shortcut& shortcut : shortcuts_) {
        QVariantMap properties{{QStringLiteral("description"), shortcut.description}};
        if (!shortcut.preferredTrigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), shortcut.preferredTrigger);
        list.append({shortcut.id, properties});
    }
    const QString token = newToken();
    listener_->expectResponse(token,
                              [this](uint response, const QVariantMap& results) { shortcutsBound(response, results); });
    call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QVariant::fromValue(list), QString(),
          QVariantMap{{QStringLiteral("handle_token"), token}}},
         QStringLiteral("назначение сочетаний"));
}

void PortalShortcuts::shortcutsBound(uint response, const QVariantMap& results)
{
    if (response != 0)
        return fail(QStringLiteral("сочетания не назначены (ответ %1)").arg(response));
    QVariantMap triggers;
    const ShortcutList bound = qdbus_cast<ShortcutList>(results.value(QStringLiteral("shortcuts")));
    for (const auto& [id, properties] : bound)
        triggers.insert(id, properties.value(QStringLiteral("trigger_description")));
    if (onBound)
        onBound(triggers);
}

void PortalShortcuts::shortcutEvent(const QString& session, const QString& id, bool pressed)
{
    if (session != sessionPath_ || failed_)
        return;
    if (const auto& handler = pressed ? onActivated : onDeactivated)
        handler(id);
}

void PortalShortcuts::call(const QString& method, const QVariantList& arguments, const QString& what)
{
    auto* watcher = new QDBusPendingCallWatcher(
        bus().asyncCall(portalCall(shortcutsInterface, method, arguments), callTimeoutMs), listener_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, listener_.get(), [this, watcher, what] {
        watcher->deleteLater();
        if (watcher->isError())
            fail(QStringLiteral("%1 не удалось: %2").arg(what, watcher->error().message()));
    });
}

void PortalShortcuts::fail(const QString& reason)
{
    if (failed_)
        return;
    failed_ = true;
    if (onUnavailable)
        onUnavailable(reason);
}

#include "PortalShortcuts.moc"
