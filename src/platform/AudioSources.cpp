#include "platform/AudioSources.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>

namespace
{

struct Listing
{
    std::vector<AudioSource> sources;
    bool complete = false;
    bool failed = false;
};

void sourceListed(pa_context*, const pa_source_info* info, int last, void* userdata)
{
    auto* listing = static_cast<Listing*>(userdata);
    if (last < 0) {
        listing->failed = true;
    } else if (last > 0) {
        listing->complete = true;
    } else if (info->monitor_of_sink == PA_INVALID_INDEX) {
        listing->sources.push_back(
            {QString::fromUtf8(info->name), QString::fromUtf8(info->description ? info->description : info->name)});
    }
}

void contextStateChanged(pa_context* context, void* userdata)
{
    auto* listing = static_cast<Listing*>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        if (pa_operation* operation = pa_context_get_source_info_list(context, sourceListed, listing))
            pa_operation_unref(operation);
        else
            listing->failed = true;
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        listing->failed = true;
        break;
    default:
        break;
    }
}

struct LoopDeleter
{
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};

struct ContextDeleter
{
    void operator()(pa_context* context) const
    {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

// Runs the loop until the listing is over or the deadline has passed.
void runUntilDone(pa_mainloop* loop, const Listing& listing, std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    while (!listing.complete && !listing.failed) {
        const auto remaining = duration_cast<microseconds>(deadline - steady_clock::now()).count();
        if (remaining <= 0 || pa_mainloop_prepare(loop, static_cast<int>(remaining)) < 0 ||
            pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            return;
    }
}

} // namespace

namespace AudioSources
{

std::vector<AudioSource> list(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::unique_ptr<pa_mainloop, LoopDeleter> loop(pa_mainloop_new());
    if (!loop)
        return {};
    Listing listing;
    // Declared after the loop: the context goes first.
    const std::unique_ptr<pa_context, ContextDeleter> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Tolvan"));
    if (!context)
        return {};
    pa_context_set_state_callback(context.get(), contextStateChanged, &listing);
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return {};
    runUntilDone(loop.get(), listing, deadline);
    pa_context_set_state_callback(context.get(), nullptr, nullptr);
    return listing.complete ? listing.sources : std::vector<AudioSource>{};
}

} // namespace AudioSources
