#pragma once

#include "voice/SileroLibrary.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class VoiceDetector;

// One stream of 16 kHz sound judged block by block, in order: by the voice detector's model, or by loudness when the
// model is unavailable. Used by one thread at a time; gives its detector back to the app's detector when destroyed.
class VoiceStream
{
public:
    VoiceStream(VoiceDetector& owner, const SileroLibrary* library,
                std::optional<SileroLibrary::LoadedDetector> detector);
    ~VoiceStream();
    VoiceStream(VoiceStream&& other) noexcept;
    VoiceStream& operator=(VoiceStream&&) = delete;
    VoiceStream(const VoiceStream&) = delete;
    VoiceStream& operator=(const VoiceStream&) = delete;

    // Whether the block that follows the ones judged so far holds speech.
    bool isSpeech(std::span<const std::int16_t> block);
    // Starts a new stream.
    void reset();
    bool usesModel() const { return detector_.has_value(); }

    // The verdicts on `samples` in consecutive blocks of `blockSamples` (the last one may be shorter), judged by a
    // stream of the app's detector.
    static std::vector<bool> verdicts(std::span<const std::int16_t> samples, std::size_t blockSamples);

private:
    VoiceDetector* owner_;
    const SileroLibrary* library_;
    std::optional<SileroLibrary::LoadedDetector> detector_;
    std::vector<float> scaled_;
};
