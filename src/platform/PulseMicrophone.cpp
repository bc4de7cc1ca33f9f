#include "platform/PulseMicrophone.h"

#include <pulse/pulseaudio.h>

#include <vector>

namespace
{

constexpr pa_usec_t connectTimeoutUsec = 1'000'000;

} // namespace

struct PulseMicrophone::Connection
{
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* deadline = nullptr;
    BlockHandler onBlock;
    EndHandler onEnded;
    std::vector<std::int16_t> block;
    std::size_t filled = 0;
    bool timedOut = false;
    bool running = false;
    bool ended = false;

    ~Connection()
    {
        if (loop)
            pa_threaded_mainloop_stop(loop);
        if (stream)
            pa_stream_unref(stream);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_threaded_mainloop_free(loop);
    }

    void append(const std::int16_t* samples, std::size_t count)
    {
        while (count > 0) {
            const std::size_t take = std::min(count, block.size() - filled);
            std::copy_n(samples, take, block.begin() + static_cast<std::ptrdiff_t>(filled));
            filled += take;
            samples += take;
            count -= take;
            if (filled == block.size())
                flush();
        }
    }

    void flush()
    {
        if (filled > 0 && onBlock)
            onBlock(std::span<const std::int16_t>(block.data(), filled));
        filled = 0;
    }

    QString reason() const { return QString::fromUtf8(pa_strerror(pa_context_errno(context))); }

    // On the loop thread: the server or the stream went away while recording.
    void endUnexpectedly()
    {
        if (!running || ended)
            return;
        ended = true;
        flush();
        if (onEnded)
            onEnded(reason());
    }
};

namespace
{

void signalLoop(PulseMicrophone::Connection* connection)
{
    pa_threaded_mainloop_signal(connection->loop, 0);
}

void contextStateChanged(pa_context* context, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
        connection->endUnexpectedly();
    signalLoop(connection);
}

void streamStateChanged(pa_stream* stream, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        connection->endUnexpectedly();
    signalLoop(connection);
}

void streamReadable(pa_stream* stream, std::size_t, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        // A hole (data lost by the server) has no data; it is skipped, not invented.
        if (data && connection->running && !connection->ended)
            connection->append(static_cast<const std::int16_t*>(data), bytes / sizeof(std::int16_t));
        pa_stream_drop(stream);
    }
}

void deadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    connection->timedOut = true;
    signalLoop(connection);
}

// With the loop locked: waits until ready() holds, failed() holds or the deadline passes.
template <typename Ready, typename Failed>
bool waitUntil(PulseMicrophone::Connection& connection, Ready ready, Failed failed)
{
    while (!ready()) {
        if (failed() || connection.timedOut)
            return false;
        pa_threaded_mainloop_wait(connection.loop);
    }
    return true;
}

Error captureError(const QString& reason)
{
    return Error::system(QStringLiteral("PulseAudio"), 1, reason);
}

} // namespace

std::unique_ptr<MicrophoneCapture> MicrophoneCapture::createDefault()
{
    return std::make_unique<PulseMicrophone>();
}

PulseMicrophone::PulseMicrophone() = default;

PulseMicrophone::~PulseMicrophone()
{
    stop();
}

Result<Done> PulseMicrophone::start(const QString& source, BlockHandler onBlock, EndHandler onEnded)
{
    if (connection_)
        return Done{};
    auto connection = std::make_unique<Connection>();
    connection->onBlock = std::move(onBlock);
    connection->onEnded = std::move(onEnded);
    connection->block.resize(blockSamples);
    connection->loop = pa_threaded_mainloop_new();
    if (!connection->loop)
        return captureError(QStringLiteral("cannot create the sound client's loop"));
    connection->context = pa_context_new(pa_threaded_mainloop_get_api(connection->loop), "Tolvan");
    if (!connection->context)
        return captureError(QStringLiteral("cannot create the sound client's context"));
    pa_context_set_state_callback(connection->context, contextStateChanged, connection.get());
    if (pa_context_connect(connection->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return captureError(connection->reason());
    if (pa_threaded_mainloop_start(connection->loop) < 0)
        return captureError(QStringLiteral("cannot start the sound client's thread"));

    pa_threaded_mainloop_lock(connection->loop);
    connection->deadline = pa_context_rttime_new(connection->context, pa_rtclock_now() + connectTimeoutUsec,
                                                 deadlinePassed, connection.get());
    pa_context* context = connection->context;
    const bool connected = waitUntil(
        *connection, [&] { return pa_context_get_state(context) == PA_CONTEXT_READY; },
        [&] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)); });
    QString failure;
    if (connected) {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, sampleRate, 1};
        connection->stream = pa_stream_new(context, "Диктовка", &spec, nullptr);
        if (connection->stream) {
            pa_stream_set_state_callback(connection->stream, streamStateChanged, connection.get());
            pa_stream_set_read_callback(connection->stream, streamReadable, connection.get());
            pa_buffer_attr attributes{};
            attributes.maxlength = static_cast<std::uint32_t>(-1);
            attributes.fragsize = blockSamples * sizeof(std::int16_t);
            const QByteArray sourceName = source.toUtf8();
            pa_stream_connect_record(connection->stream, source.isEmpty() ? nullptr : sourceName.constData(),
                                     &attributes, PA_STREAM_ADJUST_LATENCY);
            pa_stream* stream = connection->stream;
            if (waitUntil(
                    *connection, [&] { return pa_stream_get_state(stream) == PA_STREAM_READY; },
                    [&] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)); }))
                connection->running = true;
        }
    }
    if (!connection->running)
        failure = connection->timedOut ? QStringLiteral("the sound server did not answer within a second")
                                       : connection->reason();
    pa_threaded_mainloop_get_api(connection->loop)->time_free(connection->deadline);
    connection->deadline = nullptr;
    pa_threaded_mainloop_unlock(connection->loop);
    if (!connection->running)
        return captureError(failure);
    connection_ = std::move(connection);
    return Done{};
}

void PulseMicrophone::stop()
{
    if (!connection_)
        return;
    std::unique_ptr<Connection> connection = std::move(connection_);
    pa_threaded_mainloop_lock(connection->loop);
    const bool endedBefore = connection->ended;
    connection->ended = true;
    pa_threaded_mainloop_unlock(connection->loop);
    // After this the loop thread is gone: nothing else touches the connection.
    pa_threaded_mainloop_stop(connection->loop);
    if (!endedBefore)
        connection->flush();
}
