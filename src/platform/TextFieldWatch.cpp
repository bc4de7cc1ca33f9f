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
// Asked for only while a field is followed: every program then reports every change of its text.
const QStringList followEvents{QStringLiteral("object:text-changed"), QStringLiteral("object:state-changed:defunct"),
                               QStringLiteral("object:state-changed:active")};
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

// Sends the call and hands its answer to `answered` on the main thread; when it failed, `failed` is called instead.
void ask(
    QObject* context, const QDBusMessage& message, std::function<void(const QDBusMessage&)> answered,
    std::function<void()> failed = [] {})
{
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(busName).asyncCall(message, AccessibilityBus::callTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, answered = std::move(answered), failed = std::move(failed)] {
                         watcher->deleteLater();
                         const QDBusMessage answer = watcher->reply();
                         if (answer.type() == QDBusMessage::ReplyMessage)
                             answered(answer);
                         else
                             failed();
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
    connect(&timeout_, &QTimer::timeout, this, &TextFieldWatch::readAndLetGo);
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
    if (followed_)
        letGo();
    stopAskingForChanges();
    // A look for a pasted text still under way comes to nothing.
    ++follows_;
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
            const QString events = QStringLiteral("org.a11y.atspi.Event.Object");
            bus.connect({}, {}, events, QStringLiteral("StateChanged"), this, SLOT(stateChanged(QDBusMessage)));
            bus.connect({}, {}, events, QStringLiteral("TextChanged"), this, SLOT(textChanged(QDBusMessage)));
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
    const QString state = arguments.value(0).toString();
    const bool on = arguments.value(1).toInt() != 0;
    const Field field{message.service(), message.path()};
    if (state == QLatin1String("defunct") && on && isFollowed(message)) {
        // The window closed: what the field's reports made of the text is all there is.
        letGoAsReported();
        return;
    }
    if (state == QLatin1String("focused")) {
        if (on)
            focused_ = field;
        else if (focused_ == field)
            focused_ = {};
    }
    // The user moved on: the field lost the focus, another one took it, or its window is no longer the active one
    // (Qt reports only that when another program's window comes to the front).
    const bool left = state == QLatin1String("focused") ? on != isFollowed(message)
                                                        : state == QLatin1String("active") && !on && followed_ &&
                                                              followed_->field.program == field.program;
    if (left && followed_)
        readAndLetGo();
}

void TextFieldWatch::textChanged(const QDBusMessage& message)
{
    if (!isFollowed(message))
        return;
    const QVariantList arguments = message.arguments();
    const QString change = arguments.value(0).toString();
    const int start = arguments.value(1).toInt();
    const int length = arguments.value(2).toInt();
    const QString text = qvariant_cast<QDBusVariant>(arguments.value(3)).variant().toString();
    const bool stillThere = change.startsWith(QLatin1String("insert"))   ? followed_->range.inserted(start, text)
                            : change.startsWith(QLatin1String("delete")) ? followed_->range.deleted(start, length)
                                                                         : true;
    if (!stillThere)
        letGoAsReported();
}

bool TextFieldWatch::isFollowed(const QDBusMessage& event) const
{
    return followed_ && followed_->field == Field{event.service(), event.path()};
}

void TextFieldWatch::follow(const QString& pasted)
{
    // A new paste ends the one before, as the user left it.
    if (followed_) {
        const Followed followed = letGo();
        tell(followed, followed.range.nowBefore(pasted));
    }
    ++follows_;
    if (!connected_ || focused_.program.isEmpty() || pasted.trimmed().isEmpty())
        return;
    checkAndRead(focused_, pasted.trimmed(), follows_);
}

void TextFieldWatch::checkAndRead(const Field& field, const QString& pasted, quint64 follow)
{
    const QString accessible = QStringLiteral("org.a11y.atspi.Accessible");
    const auto notFollowed = [this, follow] { giveUp(follow); };
    ask(
        this, question(field.program, field.path, accessible, QStringLiteral("GetRole")),
        [this, field, pasted, follow, accessible, notFollowed](const QDBusMessage& role) {
            const uint kind = role.arguments().value(0).toUInt();
            if (kind == passwordTextRole || kind == terminalRole)
                return;
            ask(
                this, question(field.program, field.path, accessible, QStringLiteral("GetState")),
                [this, field, pasted, follow](const QDBusMessage& state) {
                    const QList<uint> states = qdbus_cast<QList<uint>>(state.arguments().value(0));
                    if (states.isEmpty() || !(states.first() & (1U << editableState)) || !connected_ ||
                        follow != follows_)
                        return;
                    // Every change after the text is read must be reported: the programs are told first.
                    askForChanges([this, field, pasted, follow] { findPasted(field, pasted, follow, 1); });
                },
                notFollowed);
        },
        notFollowed);
}

void TextFieldWatch::findPasted(const Field& field, const QString& pasted, quint64 follow, int look)
{
    ask(
        this, textOf(field.program, field.path),
        [this, field, pasted, follow, look](const QDBusMessage& answer) {
            if (!enabled_ || follow != follows_ || !(focused_ == field)) {
                giveUp(follow);
                return;
            }
            const QString text = answer.arguments().value(0).toString();
            const qsizetype at = text.lastIndexOf(pasted);
            if (at >= 0) {
                followed_ = Followed{field, pasted, PastedRange(text, at, pasted.size())};
                timeout_.start(followMs);
                Log::info(QStringLiteral("Поле со вставленным текстом отслеживается"));
            } else if (look < looksForPasted) {
                QTimer::singleShot(lookAgainMs, this, [this, field, pasted, follow, look] {
                    findPasted(field, pasted, follow, look + 1);
                });
            } else {
                giveUp(follow);
            }
        },
        [this, follow] { giveUp(follow); });
}

void TextFieldWatch::askForChanges(std::function<void()> asked)
{
    if (std::exchange(askingForChanges_, true)) {
        asked();
        return;
    }
    AccessibilityBus::askFor(busName, followEvents, this, std::move(asked));
}

void TextFieldWatch::stopAskingForChanges()
{
    if (std::exchange(askingForChanges_, false))
        AccessibilityBus::stopAskingFor(busName, followEvents);
}

void TextFieldWatch::giveUp(quint64 follow)
{
    // A newer paste's look for its text owns the request for changes now.
    if (follow == follows_ && !followed_)
        stopAskingForChanges();
}

void TextFieldWatch::readAndLetGo()
{
    if (!followed_)
        return;
    const Followed followed = letGo();
    ask(
        this, textOf(followed.field.program, followed.field.path),
        [this, followed](const QDBusMessage& answer) {
            const std::optional<QString> read = followed.range.within(answer.arguments().value(0).toString());
            tell(followed, read.value_or(followed.range.now()));
        },
        [this, followed] { tell(followed, followed.range.now()); });
}

TextFieldWatch::Followed TextFieldWatch::letGo()
{
    timeout_.stop();
    stopAskingForChanges();
    return *std::exchange(followed_, std::nullopt);
}

void TextFieldWatch::letGoAsReported()
{
    const Followed followed = letGo();
    tell(followed, followed.range.now());
}

void TextFieldWatch::tell(const Followed& followed, const QString& now)
{
    if (now != followed.pasted)
        emit edited(followed.pasted, now);
}
