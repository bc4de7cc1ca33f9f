#include "voice/VoiceStream.h"

#include "voice/SoundLevel.h"
#include "voice/VoiceDetector.h"

#include <algorithm>

VoiceStream::VoiceStream(VoiceDetector& owner, const SileroLibrary* library,
                         std::optional<SileroLibrary::LoadedDetector> detector)
    : owner_(&owner), library_(library), detector_(std::move(detector))
{
    if (detector_)
        library_->reset(detector_->get());
}

VoiceStream::VoiceStream(VoiceStream&& other) noexcept
    : owner_(other.owner_), library_(other.library_), detector_(std::move(other.detector_)),
      scaled_(std::move(other.scaled_))
{
    other.detector_.reset();
}

VoiceStream::~VoiceStream()
{
    if (detector_)
        owner_->giveBack(std::move(*detector_));
}

bool VoiceStream::isSpeech(std::span<const std::int16_t> block)
{
    if (!detector_)
        return SoundLevel::isVoiced(block);
    scaled_.resize(block.size());
    std::transform(block.begin(), block.end(), scaled_.begin(),
                   [](std::int16_t sample) { return static_cast<float>(sample) / 32768.0F; });
    return library_->accept(detector_->get(), scaled_);
}

void VoiceStream::reset()
{
    if (detector_)
        library_->reset(detector_->get());
}

std::vector<bool> VoiceStream::verdicts(std::span<const std::int16_t> samples, std::size_t blockSamples)
{
    VoiceStream stream = VoiceDetector::shared().stream();
    std::vector<bool> verdicts;
    verdicts.reserve(samples.size() / blockSamples + 1);
    for (std::size_t start = 0; start < samples.size(); start += blockSamples)
        verdicts.push_back(stream.isSpeech(samples.subspan(start, std::min(blockSamples, samples.size() - start))));
    return verdicts;
}
