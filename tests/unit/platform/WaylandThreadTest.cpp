#include "platform/wayland/WaylandThread.h"

#include <QByteArray>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <unistd.h>

namespace
{

// The compositor's end of a connection handed to the Wayland client library through WAYLAND_SOCKET: nothing
// answers there unless the test writes it.
class SilentCompositor
{
public:
    SilentCompositor()
    {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends_);
        // The client library takes this end over and unsets the variable.
        qputenv("WAYLAND_SOCKET", QByteArray::number(ends_[1]));
    }
    ~SilentCompositor() { close(ends_[0]); }

    // The display's error event: the compositor ends the connection over a fault of ours.
    void reportProtocolError() const
    {
        const std::uint32_t message[] = {1, (24u << 16) | 0, 1, 3 /* implementation */, 2, 'x'};
        [[maybe_unused]] const ssize_t written = write(ends_[0], message, sizeof message);
    }

private:
    int ends_[2] = {-1, -1};
};

bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

// A task its caller gave up on never runs later (a paste would then land wherever the user has gone), waits for the
// compositor are bounded, and a broken connection ends the thread instead of leaving it spinning.
TEST(WaylandThreadTest, AGivenUpTaskNeverRunsWaitsAreBoundedAndABrokenConnectionEndsTheThread)
{
    const SilentCompositor compositor;
    std::atomic<int> lostWith = -1;
    std::atomic<bool> tornDown = false;
    WaylandThread thread(
        {.setUp = nullptr, .tearDown = [&] { tornDown = true; }, .lost = [&](int error) { lostWith = error; }});
    ASSERT_TRUE(thread.isConnected());

    std::atomic<bool> waiting = false;
    std::atomic<bool> answered = true;
    std::thread first([&] {
        thread.run(
            [&] {
                waiting = true;
                answered = thread.roundtrip(300);
            },
            2000);
    });
    ASSERT_TRUE(eventually([&] { return waiting.load(); }));
    std::atomic<bool> secondRan = false;
    EXPECT_FALSE(thread.run([&] { secondRan = true; }, 50));
    first.join();
    EXPECT_FALSE(answered);
    EXPECT_TRUE(thread.run([] {}, 1000));
    EXPECT_FALSE(secondRan);

    compositor.reportProtocolError();
    ASSERT_TRUE(eventually([&] { return lostWith != -1; }));
    EXPECT_EQ(lostWith, EPROTO);
    EXPECT_TRUE(tornDown);
    EXPECT_FALSE(thread.isConnected());
    EXPECT_FALSE(thread.run([] {}, 1000));
}
