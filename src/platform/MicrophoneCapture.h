#pragma once

#include "core/Result.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

// A microphone of the session as a stream of 16 kHz mono signed 16-bit blocks.
class MicrophoneCapture
{
public:
    static constexpr int sampleRate = 16000;
    // About 85 ms: the 16 kHz equivalent of a 4096-frame buffer at 48 kHz.
    static constexpr int blockSamples = 1365;

    // Runs on the capture thread, once per block, in order. The span is valid only during the call.
    using BlockHandler = std::function<void(std::span<const std::int16_t> block)>;
    // Runs once on the capture thread when the stream ends without stop(): it could not be opened (no block
    // came before) or it went away later, e.g. the sound server quit; every sample captured before has
    // been handed to the block handler. The text is the reason.
    using EndHandler = std::function<void(const QString& reason)>;

    // The sound server's microphone (PulseAudio or PipeWire).
    static std::unique_ptr<MicrophoneCapture> createDefault();

    virtual ~MicrophoneCapture() = default;

    // Begins connecting to the sound server's source of that name (the default source when empty) and
    // returns at once: blocks follow as soon as the stream runs, and when no sound server or no such
    // source answers within about a second, the end handler says why. Fails by itself only when the
    // sound client cannot be set up at all.
    virtual Result<Done> start(const QString& source, BlockHandler onBlock, EndHandler onEnded) = 0;
    // Ends the stream; the samples of an unfinished block are delivered (on the calling thread) before it
    // returns, and no handler runs afterwards. Harmless when not started.
    virtual void stop() = 0;
};
