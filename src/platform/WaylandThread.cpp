#include "platform/WaylandThread.h"

#include <sys/eventfd.h>

#include <chrono>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>

struct WaylandThread::Job
{
    std::function<void()> task;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

WaylandThread::WaylandThread() : display_(wl_display_connect(nullptr)), wakeFd_(eventfd(0, EFD_CLOEXEC))
{
    if (display_)
        thread_ = std::thread([this] { loop(); });
}

WaylandThread::~WaylandThread()
{
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    if (thread_.joinable())
        thread_.join();
    if (display_)
        wl_display_disconnect(display_);
    close(wakeFd_);
}

bool WaylandThread::run(std::function<void()> task, int timeoutMs)
{
    if (!display_)
        return false;
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    {
        std::lock_guard guard(mutex_);
        if (stopping_)
            return false;
        jobs_.push_back(job);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    std::unique_lock lock(job->mutex);
    return job->finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return job->done; });
}

void WaylandThread::loop()
{
    // A program that closes its end of a clipboard transfer early must not end ours: the write fails instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = wl_display_get_fd(display_);
    for (;;) {
        while (wl_display_prepare_read(display_) != 0)
            wl_display_dispatch_pending(display_);
        wl_display_flush(display_);
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 2, -1);
        if (fds[0].revents & POLLIN)
            wl_display_read_events(display_);
        else
            wl_display_cancel_read(display_);
        const bool lost = (fds[0].revents & (POLLERR | POLLHUP)) || wl_display_get_error(display_) != 0;
        if (!lost)
            wl_display_dispatch_pending(display_);
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
        }
        {
            std::lock_guard guard(mutex_);
            stopping_ = stopping_ || lost;
            if (stopping_)
                return;
        }
        runJobs();
    }
}

void WaylandThread::runJobs()
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard guard(mutex_);
            if (jobs_.empty())
                return;
            job = jobs_.front();
            jobs_.pop_front();
        }
        job->task();
        std::lock_guard guard(job->mutex);
        job->done = true;
        job->finished.notify_all();
    }
}
