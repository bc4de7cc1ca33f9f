#include "platform/MediaPlayers.h"

#include "core/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <functional>
#include <utility>

namespace
{

const QString playerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString playerPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
// A player that does not answer in this time is left as it is.
constexpr int answerTimeoutMs = 500;

// Sends the call and hands its answer to `answered` on this thread, unless it failed or came too late.
void ask(QDBusMessage message, QObject* context, std::function<void(const QDBusMessage&)> answered)
{
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, answerTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QDBusMessage reply = finished->reply();
                         if (reply.type() == QDBusMessage::ReplyMessage)
                             answered(reply);
                     });
}

QDBusMessage statusQuestion(const QString& owner)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        owner, playerPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({playerInterface, QStringLiteral("PlaybackStatus")});
    return message;
}

QString statusIn(const QDBusMessage& reply)
{
    return reply.arguments().isEmpty()
               ? QString()
               : qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString();
}

} // namespace

MediaPlayers& MediaPlayers::shared()
{
    static MediaPlayers instance;
    return instance;
}

void MediaPlayers::pausePlaying()
{
    ++recording_;
    recordingOn_ = true;
    paused_.clear();
    // Every name of a player, then its owner: the owner's unique name is what is resumed later.
    QDBusMessage names =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    ask(names, this, [this, recording = recording_](const QDBusMessage& reply) {
        int asked = 0;
        for (const QString& name : reply.arguments().value(0).toStringList()) {
            if (!name.startsWith(playerPrefix))
                continue;
            // A program that registers thousands of player names must not flood the bus with our questions.
            if (++asked > maxPlayers)
                break;
            QDBusMessage owner = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
            owner.setArguments({name});
            ask(owner, this, [this, recording](const QDBusMessage& answer) {
                pauseIfPlaying(answer.arguments().value(0).toString(), recording);
            });
        }
    });
}

bool MediaPlayers::isUnderWay(quint64 recording) const
{
    return recording == recording_ && recordingOn_;
}

void MediaPlayers::pauseIfPlaying(const QString& owner, quint64 recording)
{
    if (owner.isEmpty() || !isUnderWay(recording))
        return;
    ask(statusQuestion(owner), this, [this, owner, recording](const QDBusMessage& reply) {
        if (statusIn(reply) != QLatin1String("Playing") || !isUnderWay(recording))
            return;
        ask(QDBusMessage::createMethodCall(owner, playerPath, playerInterface, QStringLiteral("Pause")), this,
            [this, owner, recording](const QDBusMessage&) { paused(owner, recording); });
    });
}

void MediaPlayers::paused(const QString& owner, quint64 recording)
{
    if (isUnderWay(recording)) {
        paused_.push_back(owner);
        Log::info(QStringLiteral("Плеер поставлен на паузу на время записи"));
    } else if (recording == recording_) {
        // The recording ended before the player answered.
        resumeIfPaused(owner);
    }
}

void MediaPlayers::resumePaused()
{
    recordingOn_ = false;
    for (const QString& owner : std::exchange(paused_, {}))
        resumeIfPaused(owner);
}

void MediaPlayers::resumeIfPaused(const QString& owner)
{
    ask(statusQuestion(owner), this, [this, owner](const QDBusMessage& reply) {
        // Playing, stopped or gone: the user decided meanwhile.
        if (statusIn(reply) != QLatin1String("Paused"))
            return;
        // A new recording began meanwhile: the player stays paused for it.
        if (recordingOn_) {
            paused_.push_back(owner);
            return;
        }
        ask(QDBusMessage::createMethodCall(owner, playerPath, playerInterface, QStringLiteral("Play")), this,
            [](const QDBusMessage&) { Log::info(QStringLiteral("Плеер снова играет")); });
    });
}
