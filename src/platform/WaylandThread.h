#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct wl_display;

// One connection to the Wayland compositor (WAYLAND_DISPLAY), served by a thread of its own: the compositor's
// events are handled as they come (a window that gains the focus, a paste that asks for our clipboard), and every
// request is made on that thread through run().
class WaylandThread
{
public:
    WaylandThread();
    ~WaylandThread();
    WaylandThread(const WaylandThread&) = delete;
    WaylandThread& operator=(const WaylandThread&) = delete;

    bool isConnected() const { return display_ != nullptr; }
    // Only for use inside a task.
    wl_display* display() const { return display_; }
    // Runs the task on the connection's thread and waits for it, at most timeoutMs: a compositor that stopped
    // answering must not hold the caller. False when it did not run in that time. The task must own what it
    // touches (it may run after run() gave up on it).
    bool run(std::function<void()> task, int timeoutMs = 1000);

private:
    struct Job;
    void loop();
    void runJobs();

    wl_display* display_ = nullptr;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};
