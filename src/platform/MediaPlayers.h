#pragma once

#include <QObject>
#include <QString>

#include <vector>

// The media players of the session (MPRIS on the session bus) that play while the user dictates: paused when a
// recording starts, and exactly those resumed when it ends — not one the user paused, stopped or started meanwhile,
// nor one that went away. Every call to a player is asynchronous, with a short timeout: nothing waits for a player.
// Main thread.
class MediaPlayers : public QObject
{
public:
    // At most this many players are asked whether they play.
    static constexpr int maxPlayers = 32;

    static MediaPlayers& shared();

    // Pauses every player that plays now.
    void pausePlaying();
    // Resumes the players paused by pausePlaying that are still paused; a pause still under way when this comes
    // is taken back as soon as the player answers it.
    void resumePaused();

private:
    MediaPlayers() = default;

    bool isUnderWay(quint64 recording) const;
    void pauseIfPlaying(const QString& owner, quint64 recording);
    void paused(const QString& owner, quint64 recording);
    void resumeIfPaused(const QString& owner);

    // Each recording's pauses are told apart from an earlier one's, whose answers may come late.
    quint64 recording_ = 0;
    bool recordingOn_ = false;
    // The players paused for the recording under way, by their unique bus name: a player restarted meanwhile has
    // another one.
    std::vector<QString> paused_;
};
