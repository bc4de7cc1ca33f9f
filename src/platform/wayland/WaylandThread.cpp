#include "platform/wayland/WaylandThread.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>

namespace
{

constexpr int stopTimeoutMs = 1000;

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

struct WaylandThread::Job
{
    enum class State
    {
        queued,
        running,
        finished,
        // Its caller gave up on it: never started, or told to stop.
        abandoned,
    };
    std::function<void()> task;
    State state = State::queued;
    std::condition_variable changed;
};

WaylandThread::WaylandThread(Hooks hooks, int setUpTimeoutMs)
    : display_(wl_display_connect(nullptr)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!display_)
        return;
    thread_ = std::thread([this, hooks = std::move(hooks)]() mutable { loop(std::move(hooks)); });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(setUpTimeoutMs), [this] { return setUp_; });
}

WaylandThread::~WaylandThread()
{
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
        if (current_)
            current_->state = Job::State::abandoned;
    }
    wake();
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        const bool ended =
            changed_.wait_for(lock, std::chrono::milliseconds(stopTimeoutMs), [this] { return threadDone_; });
        lock.unlock();
        if (!ended) {
            // A hook that does not return: its objects may still be in use, so the connection stays open.
            thread_.detach();
            return;
        }
        thread_.join();
    }
    if (display_)
        wl_display_disconnect(display_);
    close(wakeFd_);
}

void WaylandThread::wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

bool WaylandThread::run(std::function<void()> task, int timeoutMs)
{
    if (!isConnected())
        return false;
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    std::unique_lock lock(mutex_);
    if (stopping_ || ended_)
        return false;
    jobs_.push_back(job);
    wake();
    const bool finished = job->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return job->state == Job::State::finished || job->state == Job::State::abandoned;
    });
    if (finished)
        return job->state == Job::State::finished;
    job->state = Job::State::abandoned;
    return false;
}

void WaylandThread::post(std::function<void()> task)
{
    if (!isConnected())
        return;
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    std::lock_guard guard(mutex_);
    if (stopping_ || ended_)
        return;
    jobs_.push_back(job);
    wake();
}

bool WaylandThread::abandoned() const
{
    std::lock_guard guard(mutex_);
    return stopping_ || (current_ && current_->state == Job::State::abandoned);
}

bool WaylandThread::roundtrip(int timeoutMs)
{
    static const wl_callback_listener listener{
        .done = [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    bool answered = false;
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &listener, &answered);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!answered && !abandoned() && !ended_ && Clock::now() < deadline) {
        if (!dispatchOnce(remainingMs(deadline)))
            break;
    }
    wl_callback_destroy(callback);
    return answered;
}

bool WaylandThread::dispatchOnce(int timeoutMs)
{
    if (ended_)
        return false;
    // After a fatal protocol error both of these keep failing: that is the end of the connection, not a reason
    // to try again.
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            ended_ = true;
            return false;
        }
    }
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        ended_ = true;
        return false;
    }
    pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const bool readable = poll(fds, 2, timeoutMs) > 0 && (fds[0].revents & POLLIN);
    bool broken = false;
    if (readable)
        broken = wl_display_read_events(display_) < 0;
    else {
        wl_display_cancel_read(display_);
        broken = (fds[0].revents & (POLLERR | POLLHUP)) != 0;
    }
    if (broken || wl_display_dispatch_pending(display_) < 0 || wl_display_get_error(display_) != 0) {
        ended_ = true;
        return false;
    }
    if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    }
    return true;
}

void WaylandThread::loop(Hooks hooks)
{
    // A program that closes its end of a clipboard transfer early must not end ours: the write fails instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    if (hooks.setUp)
        hooks.setUp(*this);
    {
        std::lock_guard guard(mutex_);
        setUp_ = true;
    }
    changed_.notify_all();
    for (;;) {
        {
            std::lock_guard guard(mutex_);
            if (stopping_)
                break;
        }
        runJobs();
        if (!dispatchOnce(-1))
            break;
    }
    const bool lost = ended_;
    endJobs();
    if (hooks.tearDown)
        hooks.tearDown();
    if (lost && hooks.lost)
        hooks.lost(wl_display_get_error(display_));
    {
        std::lock_guard guard(mutex_);
        threadDone_ = true;
    }
    changed_.notify_all();
}

void WaylandThread::runJobs()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        if (jobs_.empty() || stopping_ || ended_)
            return;
        current_ = jobs_.front();
        jobs_.pop_front();
        if (current_->state != Job::State::queued) {
            current_.reset();
            continue;
        }
        current_->state = Job::State::running;
        lock.unlock();
        current_->task();
        lock.lock();
        if (current_->state == Job::State::running)
            current_->state = Job::State::finished;
        current_->changed.notify_all();
        current_.reset();
    }
}

// Nothing waits in vain for a connection that has ended: queued tasks are given up.
void WaylandThread::endJobs()
{
    std::lock_guard guard(mutex_);
    ended_ = true;
    for (const std::shared_ptr<Job>& job : jobs_) {
        job->state = Job::State::abandoned;
        job->changed.notify_all();
    }
    jobs_.clear();
}
