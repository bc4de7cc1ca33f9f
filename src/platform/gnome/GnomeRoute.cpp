#include "platform/gnome/GnomeRoute.h"

#include "core/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QThreadPool>

#include <linux/input-event-codes.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace
{

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
constexpr int callTimeoutMs = 1000;
constexpr auto pressDuration = std::chrono::milliseconds(25);
constexpr auto bridgeTimeout = std::chrono::seconds(1);
constexpr auto bridgePollInterval = std::chrono::milliseconds(10);

// A key as mutter takes it: by its evdev code, or by its keysym.
struct Key
{
    quint32 value = 0;
    bool byKeysym = false;
};

// Keys by their place on the standard PC keyboard (evdev codes). Mutter types a keysym only when the current
// layout holds it, and a Russian layout has no Latin "v"; by its place the key is Ctrl+V there too.
Key keyFor(Keys::Keysym key)
{
    switch (key) {
    case Keys::c:
        return {KEY_C};
    case Keys::v:
        return {KEY_V};
    case Keys::insert:
        return {KEY_INSERT};
    default:
        return {key, true};
    }
}

constexpr std::pair<Keys::Modifiers, quint32> modifierKeys[] = {
    {Keys::control, KEY_LEFTCTRL}, {Keys::shift, KEY_LEFTSHIFT}, {Keys::alt, KEY_LEFTALT}, {Keys::super, KEY_LEFTMETA}};

// The modifiers, then the key.
std::vector<Key> pressesFor(Keys::Keysym key, Keys::Modifiers modifiers)
{
    std::vector<Key> presses;
    for (const auto& [modifier, code] : modifierKeys) {
        if (modifiers & modifier)
            presses.push_back({code});
    }
    presses.push_back(keyFor(key));
    return presses;
}

// Presses the keys in order and releases them in reverse. Every key whose press may have reached mutter gets its
// release in the same session, also after a press that got no answer; the keys after that one are not pressed.
bool pressAndRelease(GnomeRemoteSession& session, const std::vector<Key>& presses)
{
    std::vector<Key> held;
    bool typed = true;
    for (const Key& key : presses) {
        const GnomeRemoteSession::Reply reply = session.key(key.value, key.byKeysym, true);
        if (reply != GnomeRemoteSession::Reply::refused)
            held.push_back(key);
        if (reply != GnomeRemoteSession::Reply::done) {
            typed = false;
            break;
        }
    }
    if (typed)
        std::this_thread::sleep_for(pressDuration);
    for (auto key = held.rbegin(); key != held.rend(); ++key) {
        if (session.key(key->value, key->byKeysym, false) != GnomeRemoteSession::Reply::done)
            typed = false;
    }
    return typed;
}

// Waits until the session reads exactly this text as the clipboard of native windows, at most bridgeTimeout.
bool nativeWindowsAreOffered(GnomeRemoteSession& session, const QString& text)
{
    if (text.isEmpty() || !session.shareClipboard())
        return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + bridgeTimeout;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        if (session.nativeClipboardText(static_cast<int>(left)) == text)
            return true;
        std::this_thread::sleep_for(bridgePollInterval);
    }
}

} // namespace

GnomeRoute& GnomeRoute::shared()
{
    static GnomeRoute instance;
    return instance;
}

void GnomeRoute::start()
{
    if (focusWatch_)
        return;
    focusWatch_ = new GnomeFocusWatch(focus_, QCoreApplication::instance());
    focusWatch_->watchX11();
    QThreadPool::globalInstance()->start([this] { isOffered(); });
}

bool GnomeRoute::isOffered()
{
    std::call_once(offerChecked_, [this] {
        QDBusMessage question = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        question.setArguments({service});
        const QDBusMessage answer = QDBusConnection::sessionBus().call(question, QDBus::Block, callTimeoutMs);
        offered_ = answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
                   answer.arguments().constFirst().toBool();
        if (offered_)
            watch();
        else
            Log::info(QStringLiteral("Удалённое управление GNOME недоступно: на шине сеанса нет ") + service);
    });
    return offered_;
}

// The accessibility bus tells windows apart.
void GnomeRoute::watch()
{
    if (focusWatch_)
        focusWatch_->watchAccessibility();
}

void GnomeRoute::close()
{
    closing_ = true;
    const std::lock_guard lock(runningMutex_);
    if (running_.isEmpty())
        return;
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        service, running_, QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"), QStringLiteral("Stop")));
    Log::info(QStringLiteral("Сеанс удалённого управления GNOME остановлен при выходе"));
}

void GnomeRoute::recordingStarted()
{
    if (stoppedByUser_.exchange(false))
        Log::info(QStringLiteral("Новая диктовка: вставка в окна GNOME снова разрешена"));
}

ActiveWindow::WindowId GnomeRoute::focusedWindow()
{
    return offered_ ? focus_.window() : 0;
}

bool GnomeRoute::activate(ActiveWindow::WindowId window)
{
    return window != 0 && window == focusedWindow();
}

// What a program calls itself cannot tell a terminal for sure: the keys of a paste stay those for any window.
QStringList GnomeRoute::focusedWindowClass()
{
    return {};
}

QStringList GnomeRoute::focusedProgram()
{
    const QString name = focus_.focusedProgramName();
    return name.isEmpty() ? QStringList() : QStringList{name};
}

void GnomeRoute::recordingEnded()
{
    QThreadPool::globalInstance()->start([this] {
        if (!isOffered() || closing_ || stoppedByUser_)
            return;
        const std::lock_guard lock(keystrokeMutex_);
        if (spare_)
            return;
        spare_ = std::make_unique<GnomeRemoteSession>();
        if (spare_->path().isEmpty())
            spare_.reset();
    });
}

std::unique_ptr<GnomeRemoteSession> GnomeRoute::startedSession()
{
    std::unique_ptr<GnomeRemoteSession> session = std::move(spare_);
    if (session) {
        const GnomeRemoteSession::Reply reply = session->start();
        if (reply == GnomeRemoteSession::Reply::done)
            return session;
        // Unanswered: stopped as it goes. Refused: mutter no longer knows it, and a new one takes its place.
        if (reply == GnomeRemoteSession::Reply::none)
            return nullptr;
    }
    session = std::make_unique<GnomeRemoteSession>();
    if (session->path().isEmpty() || session->start() != GnomeRemoteSession::Reply::done)
        return nullptr;
    return session;
}

WaylandRoute::Keystroke GnomeRoute::postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                                            const QString& pasted)
{
    const std::lock_guard lock(keystrokeMutex_);
    if (stoppedByUser_) {
        Log::info(QStringLiteral("Вставка в окна GNOME остановлена пользователем до следующей диктовки"));
        return Keystroke::failed;
    }
    if (!isOffered())
        return Keystroke::failed;
    const std::unique_ptr<GnomeRemoteSession> session = startedSession();
    if (!session)
        return Keystroke::failed;
    session->onStoppedElsewhere = [this] {
        if (closing_ || stoppedByUser_.exchange(true))
            return;
        Log::info(QStringLiteral("Сеанс удалённого управления GNOME остановлен не нами (значком «экран "
                                 "транслируется»): вставки нет до следующей диктовки"));
    };
    const auto running = [this](const QString& path) {
        const std::lock_guard runningLock(runningMutex_);
        running_ = path;
    };
    running(session->path());
    const Keystroke result = paste(*session, target, key, modifiers, pasted);
    running({});
    return result;
}

WaylandRoute::Keystroke GnomeRoute::paste(GnomeRemoteSession& session, ActiveWindow::WindowId target, Keys::Keysym key,
                                          Keys::Modifiers modifiers, const QString& pasted)
{
    if (!pasted.isEmpty() && !nativeWindowsAreOffered(session, pasted)) {
        Log::info(QStringLiteral("Окнам Wayland не передан наш текст — вставка отменена, текст в буфере обмена"));
        return Keystroke::clipboardNotOurs;
    }
    if (target != 0 && focus_.window() != target)
        return Keystroke::targetLeft;
    return pressAndRelease(session, pressesFor(key, modifiers)) ? Keystroke::posted : Keystroke::failed;
}
