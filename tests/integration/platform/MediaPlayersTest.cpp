#include "platform/MediaPlayers.h"

#include "support/FakeSessionBus.h"

#include <QTest>

#include <gtest/gtest.h>

namespace
{

// Media players (tests/fakes/mpris-players) on a session bus of the test's own.
class FakePlayers : public FakeSessionBus
{
public:
    FakePlayers() : FakeSessionBus(QStringLiteral(FAKE_MPRIS_PLAYERS)) {}

    // What the user does to a player, once the player has done it.
    void userSets(const QString& player, const QString& status)
    {
        const QString done = QStringLiteral("SET %1 %2").arg(player, status);
        const qsizetype before = readCalls().count(done);
        tell(player + u' ' + status);
        ASSERT_TRUE(QTest::qWaitFor([&] { return readCalls().count(done) > before; }, 5000));
    }
    // The player calls, e.g. "music Pause", in order.
    QStringList playerCalls()
    {
        QStringList calls;
        for (const QString& line : readCalls()) {
            if (line.startsWith(QLatin1String("CALL ")))
                calls << line.mid(5);
        }
        return calls;
    }
    bool waitForPlayerCalls(const QStringList& calls)
    {
        return QTest::qWaitFor([&] { return playerCalls() == calls; }, 5000);
    }
};

} // namespace

// Only the players that play when a recording starts are paused, and only those still paused when it ends are
// resumed: one the user paused, stopped or started meanwhile, and one that went away, are left alone.
TEST(MediaPlayersTest, PausesWhatPlaysAndResumesOnlyWhatItPausedAndIsStillPaused)
{
    FakePlayers players;
    ASSERT_TRUE(players.startService({QStringLiteral("music=Playing"), QStringLiteral("video=Paused"),
                                      QStringLiteral("radio=Playing"), QStringLiteral("podcast=Playing")}));
    MediaPlayers& media = MediaPlayers::shared();

    media.pausePlaying();
    ASSERT_TRUE(QTest::qWaitFor([&] { return players.playerCalls().size() == 3; }, 5000))
        << players.playerCalls().join(u'\n').toStdString();
    QStringList calls = players.playerCalls();
    calls.sort();
    EXPECT_EQ(calls, QStringList({QStringLiteral("music Pause"), QStringLiteral("podcast Pause"),
                                  QStringLiteral("radio Pause")}));
    // Meanwhile the user starts the video, stops the radio, and closes the podcast's player.
    players.userSets(QStringLiteral("video"), QStringLiteral("Playing"));
    players.userSets(QStringLiteral("radio"), QStringLiteral("Stopped"));
    players.userSets(QStringLiteral("podcast"), QStringLiteral("quit"));

    media.resumePaused();
    calls << QStringLiteral("music Play");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QStringList now = players.playerCalls();
            now.sort();
            calls.sort();
            return now == calls;
        },
        5000))
        << players.playerCalls().join(u'\n').toStdString();

    // A recording that ends before the players are found pauses nothing, and its late answers do not act on the
    // next recording.
    players.userSets(QStringLiteral("video"), QStringLiteral("Paused"));
    const qsizetype before = players.playerCalls().size();
    media.pausePlaying();
    media.resumePaused();
    media.pausePlaying();
    ASSERT_TRUE(QTest::qWaitFor([&] { return players.playerCalls().size() > before; }, 5000));
    media.resumePaused();
    EXPECT_TRUE(QTest::qWaitFor([&] { return players.playerCalls().size() >= before + 2; }, 5000));
    EXPECT_EQ(players.playerCalls().mid(before).join(u','), QStringLiteral("music Pause,music Play"));
}
