#include "platform/TextFieldWatch.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "platform/AccessibilityBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QThreadPool>

#include <functional>

namespace
{

const QString busName = QStringLiteral("tolvan-text-fields");
const QString focusEvent = QStringLiteral("object:state-changed:focused");
// AT-SPI's roles and states (atspi-constants.h).
constexpr uint passwordTextRole = 40;
constexpr uint terminalRole = 60;
constexpr uint editableState = 7;

QDBusMessage question(const QString& program, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(program, path, interface, method);
    message.setArguments(arguments);
    return message;
}

// Sends the call and hands its answer, or nothing when it failed, to `answered` on the main thread.
void ask(QObject* context, const QDBusMessage& message, std::function<void(const QDBusMessage&)> answered)
{
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(busName).asyncCall(message, AccessibilityBus::callTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, answered = std::move(answered)] {
        watcher->deleteLater();
        const QDBusMessage answer = watcher->reply();
        if (answer.type() == QDBusMessage::ReplyMessage)
            answered(answer);
    });
}

QDBusMessage textOf(const QString& program, const QString& path)
{
    return question(program, path, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
}

} // namespace

TextFieldWatch::TextFieldWatch()
{
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, &TextFieldWatch::readAgain);
}

TextFieldWatch& TextFieldWatch::shared()
{
    static TextFieldWatch watch;
    return watch;
}

void TextFieldWatch::setEnabled(bool enabled)
{
    if (enabled_.exchange(enabled) == enabled)
        return;
    if (enabled) {
        QThreadPool::globalInstance()->start([this] { connectToBus(); });
        return;
    }
    timeout_.stop();
    followed_ = {};
    focused_ = {};
    if (connected_) {
        AccessibilityBus::disconnect(busName, {focusEvent});
        connected_ = false;
    }
}

// Off the main thread: the session bus and the accessibility bus may take their time.
void TextFieldWatch::connectToBus()
{
    const std::optional<QString> problem =
        AccessibilityBus::connect(busName, {focusEvent}, [this](QDBusConnection& bus) {
            // The sender is left open: programs send their events from their own names.
            bus.connect({}, {}, QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"), this,
                        SLOT(stateChanged(QDBusMessage)));
        });
    if (problem) {
        Log::info(QStringLiteral("Исправления не отслеживаются: ") + *problem);
        return;
    }
    MainThread::post(this, [this] {
        if (!enabled_) {
            AccessibilityBus::disconnect(busName, {focusEvent});
            return;
        }
        connected_ = true;
        Log::info(QStringLiteral("Исправления отслеживаются через шину специальных возможностей"));
    });
}

void TextFieldWatch::stateChanged(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).toString() != QLatin1String("focused"))
        return;
    const Field field{message.service(), message.path()};
    if (arguments.at(1).toInt() != 0) {
        focused_ = field;
        return;
    }
    if (focused_ == field)
        focused_ = {};
    if (!followed_.pasted.isEmpty() && followed_.field == field)
        readAgain();
}

void TextFieldWatch::follow(const QString& pasted)
{
    timeout_.stop();
    followed_ = {};
    ++follows_;
    if (!connected_ || focused_.program.isEmpty() || pasted.trimmed().isEmpty())
        return;
    checkAndRead(focused_, pasted.trimmed());
}

void TextFieldWatch::checkAndRead(const Field& field, const QString& pasted)
{
    const QString accessible = QStringLiteral("org.a11y.atspi.Accessible");
    ask(this, question(field.program, field.path, accessible, QStringLiteral("GetRole")),
        [this, field, pasted, accessible](const QDBusMessage& role) {
            const uint kind = role.arguments().value(0).toUInt();
            if (kind == passwordTextRole || kind == terminalRole)
                return;
            ask(this, question(field.program, field.path, accessible, QStringLiteral("GetState")),
                [this, field, pasted](const QDBusMessage& state) {
                    const QList<uint> states = qdbus_cast<QList<uint>>(state.arguments().value(0));
                    if (states.isEmpty() || !(states.first() & (1U << editableState)))
                        return;
                    findPasted(field, pasted, follows_, 1);
                });
        });
}

void TextFieldWatch::findPasted(const Field& field, const QString& pasted, quint64 follow, int look)
{
    ask(this, textOf(field.program, field.path), [this, field, pasted, follow, look](const QDBusMessage& answer) {
        if (!enabled_ || follow != follows_ || !(focused_ == field))
            return;
        const QString text = answer.arguments().value(0).toString();
        const qsizetype at = text.lastIndexOf(pasted);
        if (at >= 0) {
            followed_ = {field, pasted, text.left(at), text.mid(at + pasted.size())};
            timeout_.start(followMs);
            Log::info(QStringLiteral("Поле со вставленным текстом отслеживается"));
        } else if (look < looksForPasted) {
            QTimer::singleShot(lookAgainMs, this,
                               [this, field, pasted, follow, look] { findPasted(field, pasted, follow, look + 1); });
        }
    });
}

void TextFieldWatch::readAgain()
{
    timeout_.stop();
    const Followed followed = std::exchange(followed_, {});
    if (followed.pasted.isEmpty())
        return;
    ask(this, textOf(followed.field.program, followed.field.path), [this, followed](const QDBusMessage& answer) {
        const QString text = answer.arguments().value(0).toString();
        const qsizetype length = text.size() - followed.before.size() - followed.after.size();
        if (length < 0 || !text.startsWith(followed.before) || !text.endsWith(followed.after))
            return;
        const QString now = text.mid(followed.before.size(), length);
        if (now != followed.pasted)
            emit edited(followed.pasted, now);
    });
}
