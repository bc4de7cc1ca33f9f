#include "platform/GnomeRoute.h"

#include "core/Log.h"
#include "platform/OwnClipboard.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QThreadPool>

#include <linux/input-event-codes.h>

#include <chrono>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
constexpr int callTimeoutMs = 3000;
constexpr auto pressDuration = std::chrono::milliseconds(25);
constexpr auto bridgeTimeout = std::chrono::seconds(1);
constexpr auto bridgePollInterval = std::chrono::milliseconds(10);
constexpr int readTimeoutMs = 1000;

// Keys by their place on the standard PC keyboard (evdev codes). Mutter types a keysym only when the current
// layout holds it, and a Russian layout has no Latin "v"; by its place the key is Ctrl+V there too.
quint32 evdevCode(Keys::Keysym key)
{
    switch (key) {
    case Keys::c:
        return KEY_C;
    case Keys::v:
        return KEY_V;
    default:
        return 0;
    }
}

constexpr std::pair<Keys::Modifiers, quint32> modifierKeys[] = {
    {Keys::control, KEY_LEFTCTRL}, {Keys::shift, KEY_LEFTSHIFT}, {Keys::alt, KEY_LEFTALT}, {Keys::super, KEY_LEFTMETA}};

QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, callTimeoutMs);
}

bool failed(const QDBusMessage& reply, const QString& what)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return false;
    Log::info(QStringLiteral("Удалённое управление GNOME: %1 не удалось: %2").arg(what, reply.errorMessage()));
    return true;
}

// Whether the session bus has mutter's remote desktop; the log says so when not.
bool serviceOffered()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(service).value())
        return true;
    Log::info(QStringLiteral("Удалённое управление GNOME недоступно: на шине сеанса нет ") + service);
    return false;
}

// Everything the other end writes until it closes, waiting at most readTimeoutMs for each piece.
QByteArray readToEnd(int descriptor)
{
    QByteArray data;
    char buffer[4096];
    pollfd readable{descriptor, POLLIN, 0};
    while (::poll(&readable, 1, readTimeoutMs) > 0) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count <= 0)
            break;
        data.append(buffer, count);
    }
    return data;
}

} // namespace

GnomeRoute& GnomeRoute::shared()
{
    static GnomeRoute instance;
    return instance;
}

bool GnomeRoute::open()
{
    const std::lock_guard lock(mutex_);
    return !session_.isEmpty() || openLocked();
}

WaylandRoute::Keystroke GnomeRoute::postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                                            const QString& pasted)
{
    if (target != 0 && target != nativeWindow)
        return Keystroke::targetLeft;
    const std::lock_guard lock(mutex_);
    if (session_.isEmpty() && !openLocked())
        return Keystroke::failed;
    if (!pasted.isEmpty() && !clipboardReachesNativeWindows()) {
        Log::info(QStringLiteral("Текст не дошёл до буфера обмена окон Wayland — вставка отменена"));
        return Keystroke::clipboardNotOurs;
    }
    const Typed typed = typeLocked(key, modifiers);
    if (typed != Typed::nothing)
        return typed == Typed::yes ? Keystroke::posted : Keystroke::failed;
    // Mutter may end a session on its own, and then its object is gone. A keystroke that got partly through is not
    // repeated in a new one: it might have taken effect.
    Log::info(QStringLiteral("Сеанс удалённого управления GNOME закрыт — открываю новый"));
    session_.clear();
    running_ = false;
    return openLocked() && typeLocked(key, modifiers) == Typed::yes ? Keystroke::posted : Keystroke::failed;
}

bool GnomeRoute::openInBackground()
{
    if (!serviceOffered())
        return false;
    QThreadPool::globalInstance()->start([this] { open(); });
    return true;
}

void GnomeRoute::close()
{
    const std::lock_guard lock(mutex_);
    if (session_.isEmpty())
        return;
    if (!failed(call(session_, sessionInterface, QStringLiteral("Stop")), QStringLiteral("остановка сеанса")))
        Log::info(QStringLiteral("Сеанс удалённого управления GNOME остановлен"));
    session_.clear();
    running_ = false;
}

ActiveWindow::WindowId GnomeRoute::focusedWindow()
{
    return running_ ? nativeWindow : 0;
}

// Mutter takes no request to focus a window. When one of Tolvan's windows closes, it gives the focus back to the
// window that had it before; the caller checks that the native window is in front again.
bool GnomeRoute::activate(ActiveWindow::WindowId window)
{
    return running_ && window == nativeWindow;
}

QStringList GnomeRoute::focusedWindowClass()
{
    return {};
}

bool GnomeRoute::openLocked()
{
    if (!serviceOffered())
        return false;
    const QDBusMessage created =
        call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), service, QStringLiteral("CreateSession"));
    if (failed(created, QStringLiteral("создание сеанса")) || created.arguments().isEmpty())
        return false;
    const QString path = created.arguments().constFirst().value<QDBusObjectPath>().path();
    if (failed(call(path, sessionInterface, QStringLiteral("Start")), QStringLiteral("запуск сеанса")))
        return false;
    session_ = path;
    running_ = true;
    Log::info(QStringLiteral("Сеанс удалённого управления GNOME открыт: ") + path);
    clipboardShared_ = !failed(call(path, sessionInterface, QStringLiteral("EnableClipboard"), {QVariantMap()}),
                               QStringLiteral("доступ к буферу обмена"));
    OwnClipboard::follow();
    return true;
}

bool GnomeRoute::notify(const QString& method, quint32 key, bool pressed)
{
    return !failed(call(session_, sessionInterface, method, {key, pressed}), QStringLiteral("нажатие клавиши"));
}

GnomeRoute::Typed GnomeRoute::typeLocked(Keys::Keysym key, Keys::Modifiers modifiers)
{
    const QString byCode = QStringLiteral("NotifyKeyboardKeycode");
    std::vector<quint32> presses;
    for (const auto& [modifier, code] : modifierKeys) {
        if (modifiers & modifier)
            presses.push_back(code);
    }
    const quint32 keyCode = evdevCode(key);
    const QString keyMethod = keyCode != 0 ? byCode : QStringLiteral("NotifyKeyboardKeysym");
    const quint32 sent = keyCode != 0 ? keyCode : key;

    std::size_t held = 0;
    while (held < presses.size() && notify(byCode, presses[held], true))
        ++held;
    const bool pressed = held == presses.size() && notify(keyMethod, sent, true);
    bool typed = false;
    if (pressed) {
        std::this_thread::sleep_for(pressDuration);
        typed = notify(keyMethod, sent, false);
    }
    for (std::size_t index = held; index > 0; --index)
        notify(byCode, presses[index - 1], false);
    if (typed)
        return Typed::yes;
    return held == 0 && !pressed ? Typed::nothing : Typed::partly;
}

bool GnomeRoute::clipboardReachesNativeWindows()
{
    const QString expected = OwnClipboard::textWhileOwned();
    if (!clipboardShared_ || expected.isEmpty())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + bridgeTimeout;
    while (true) {
        const std::optional<QString> offered = nativeClipboardText();
        // A session mutter has dropped cannot tell; the keystroke finds out and opens a new one.
        if (!offered || *offered == expected)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(bridgePollInterval);
    }
}

std::optional<QString> GnomeRoute::nativeClipboardText()
{
    const QDBusMessage reply =
        call(session_, sessionInterface, QStringLiteral("SelectionRead"), {QStringLiteral("text/plain;charset=utf-8")});
    if (failed(reply, QStringLiteral("чтение буфера обмена")) || reply.arguments().isEmpty())
        return std::nullopt;
    const auto descriptor = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    return QString::fromUtf8(readToEnd(descriptor.fileDescriptor()));
}
