#include "platform/pulse/PulseMicrophone.h"

#include "core/Log.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <utility>
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
    QByteArray source;
    bool timedOut = false;
    bool running = false;
    // When start() was called, and whether a sample has come since: how much of the first word a slow start
    // would cut off is logged once.
    pa_usec_t startedUsec = 0;
    bool heard = false;
    // Set by stop() or end(): no handler runs afterwards.
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

    QString reason() const
    {
        return timedOut ? QStringLiteral("the sound server did not answer within a second")
                        : QString::fromUtf8(pa_strerror(pa_context_errno(context)));
    }

    // On the loop thread: the stream could not be opened, or went away while recording.
    void end()
    {
        if (ended)
            return;
        ended = true;
        flush();
        if (onEnded)
            onEnded(reason());
    }
};

namespace
{

void cancelDeadline(PulseMicrophone::Connection* connection)
{
    if (connection->deadline)
        pa_threaded_mainloop_get_api(connection->loop)->time_free(connection->deadline);
    connection->deadline = nullptr;
}

void streamStateChanged(pa_stream* stream, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY && !connection->ended) {
        connection->running = true;
        cancelDeadline(connection);
    } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        connection->end();
    }
}

// The first sample was captured as long before its arrival as the samples that came with it last.
void logFirstSample(const PulseMicrophone::Connection& connection, std::size_t samples)
{
    const auto heardUsec = static_cast<double>(pa_rtclock_now() - connection.startedUsec) -
                           static_cast<double>(samples) * 1e6 / PulseMicrophone::sampleRate;
    Log::info(QStringLiteral("Микрофон: первый звук записи — через %1 мс после её начала")
                  .arg(std::max(heardUsec, 0.0) / 1000, 0, 'f', 0));
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
        if (data && connection->running && !connection->ended) {
            if (!std::exchange(connection->heard, true))
                logFirstSample(*connection, bytes / sizeof(std::int16_t));
            connection->append(static_cast<const std::int16_t*>(data), bytes / sizeof(std::int16_t));
        }
        pa_stream_drop(stream);
    }
}

void openStream(PulseMicrophone::Connection* connection)
{
    constexpr pa_sample_spec spec{PA_SAMPLE_S16LE, PulseMicrophone::sampleRate, 1};
    connection->stream = pa_stream_new(connection->context, "Диктовка", &spec, nullptr);
    if (!connection->stream) {
        connection->end();
        return;
    }
    pa_stream_set_state_callback(connection->stream, streamStateChanged, connection);
    pa_stream_set_read_callback(connection->stream, streamReadable, connection);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = PulseMicrophone::blockSamples * sizeof(std::int16_t);
    if (pa_stream_connect_record(connection->stream,
                                 connection->source.isEmpty() ? nullptr : connection->source.constData(), &attributes,
                                 PA_STREAM_ADJUST_LATENCY) < 0)
        connection->end();
}

void contextStateChanged(pa_context* context, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY && !connection->ended && !connection->stream)
        openStream(connection);
    else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
        connection->end();
}

void deadlinePassed(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* userdata)
{
    auto* connection = static_cast<PulseMicrophone::Connection*>(userdata);
    api->time_free(event);
    connection->deadline = nullptr;
    if (connection->running)
        return;
    connection->timedOut = true;
    connection->end();
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
    connection->source = source.toUtf8();
    connection->startedUsec = pa_rtclock_now();
    connection->loop = pa_threaded_mainloop_new();
    if (!connection->loop)
        return captureError(QStringLiteral("cannot create the sound client's loop"));
    connection->context = pa_context_new(pa_threaded_mainloop_get_api(connection->loop), "Tolvan");
    if (!connection->context)
        return captureError(QStringLiteral("cannot create the sound client's context"));
    pa_context_set_state_callback(connection->context, contextStateChanged, connection.get());
    if (pa_context_connect(connection->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return captureError(connection->reason());
    // The loop thread is not running yet, so nothing else touches the connection here.
    connection->deadline = pa_context_rttime_new(connection->context, pa_rtclock_now() + connectTimeoutUsec,
                                                 deadlinePassed, connection.get());
    if (pa_threaded_mainloop_start(connection->loop) < 0)
        return captureError(QStringLiteral("cannot start the sound client's thread"));
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
