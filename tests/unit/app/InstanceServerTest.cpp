#include "app/InstanceLink.h"

#include <QLocalSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace
{

// What the running copy answers to these bytes, once it closes the connection.
QByteArray answerTo(const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(InstanceLink::socketPath());
    EXPECT_TRUE(socket.waitForConnected(3000));
    socket.write(bytes);
    QByteArray answer;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QLocalSocket::UnconnectedState;
        },
        5000));
    return answer + socket.readAll();
}

} // namespace

TEST(InstanceServer, TakesOneShortLineAsACommandAndNeverGathersAnEndlessOne)
{
    InstanceServer server;
    ASSERT_EQ(server.claim(0), InstanceServer::Claim::listening);
    std::optional<RemoteCommand::Kind> received;
    server.onCommand = [&](RemoteCommand::Kind kind) { received = kind; };

    EXPECT_EQ(answerTo(QByteArray(4096, 'a')), "unknown\n") << "a long run without a line feed is no command";
    EXPECT_EQ(answerTo("toggle" + QByteArray(100, 'a') + "\n"), "unknown\n");
    EXPECT_EQ(answerTo("toggle\n"), "ok\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == RemoteCommand::Kind::toggle; }, 3000));
}
