#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct wl_display;

// One connection to the Wayland compositor (WAYLAND_DISPLAY), served by a thread of its own: the compositor's
// events are handled as they come (a window that gains the focus, a paste that asks for our clipboard), and every
// request is made on that thread through run(). The thread owns the connection's whole life: `setUp` makes the
// protocol objects on it first, `tearDown` destroys them on it last — also when the compositor went away — and only
// then is the connection closed, so no object outlives its display. No wait on the compositor is unbounded.
class WaylandThread
{
public:
    struct Hooks
    {
        // Runs first on the thread, with the connection; may use roundtrip().
        std::function<void(WaylandThread&)> setUp;
        // Runs last on the thread, before the connection closes.
        std::function<void()> tearDown;
        // Runs on the thread once the compositor has gone away or broke the connection (after tearDown), with
        // the connection's error (EPROTO: a protocol error, ours).
        std::function<void(int error)> lost;
    };

    // Connects and starts the thread; waits at most setUpTimeoutMs for setUp.
    explicit WaylandThread(Hooks hooks, int setUpTimeoutMs = 1000);
    // Stops the thread (at most a second) and closes the connection.
    ~WaylandThread();
    WaylandThread(const WaylandThread&) = delete;
    WaylandThread& operator=(const WaylandThread&) = delete;

    // Whether the compositor answered and the connection still serves.
    bool isConnected() const { return display_ != nullptr && !ended_; }
    // Only for use on the thread (in a task or a hook).
    wl_display* display() const { return display_; }

    // Runs the task on the connection's thread and waits for it, at most timeoutMs: a compositor that stopped
    // answering must not hold the caller. False when it did not finish in that time. A task that has not started
    // by then never runs; one already running sees abandoned() turn true and must not do anything the user
    // would notice from then on (a keystroke, a new clipboard).
    bool run(std::function<void()> task, int timeoutMs = 1000);
    // Queues the task on the connection's thread and returns at once.
    void post(std::function<void()> task);
    // In a task: whether its caller has given up on it.
    bool abandoned() const;
    // On the thread: waits until the compositor has handled every request made so far, handling its events
    // meanwhile. False when it did not answer within timeoutMs, the task was abandoned or the connection broke.
    bool roundtrip(int timeoutMs);

private:
    struct Job;
    void loop(Hooks hooks);
    // Reads and handles what the compositor sent, waiting at most timeoutMs (-1: until it sends, or the wake-up
    // descriptor is written). False once the connection is broken.
    bool dispatchOnce(int timeoutMs);
    void runJobs();
    void endJobs();
    void wake();

    wl_display* display_ = nullptr;
    int wakeFd_ = -1;
    mutable std::mutex mutex_;
    // Signals the end of setUp and of the thread.
    std::condition_variable changed_;
    bool setUp_ = false;
    bool threadDone_ = false;
    std::deque<std::shared_ptr<Job>> jobs_;
    std::shared_ptr<Job> current_;
    bool stopping_ = false;
    std::atomic<bool> ended_ = false;
    std::thread thread_;
};
