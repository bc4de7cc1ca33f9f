#include "voice/SoundLevel.h"

#include <cmath>

namespace SoundLevel
{

float rms(std::span<const std::int16_t> block)
{
    if (block.empty())
        return 0;
    // Four independent partial sums let the compiler vectorise the loop.
    float sums[4] = {0, 0, 0, 0};
    constexpr float scale = 1.0F / 32768.0F;
    const std::size_t whole = block.size() - block.size() % 4;
    for (std::size_t index = 0; index < whole; index += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            const float sample = static_cast<float>(block[index + lane]) * scale;
            sums[lane] += sample * sample;
        }
    }
    float sum = (sums[0] + sums[1]) + (sums[2] + sums[3]);
    for (std::size_t index = whole; index < block.size(); ++index) {
        const float sample = static_cast<float>(block[index]) * scale;
        sum += sample * sample;
    }
    return std::sqrt(sum / static_cast<float>(block.size()));
}

bool isVoiced(std::span<const std::int16_t> block)
{
    return rms(block) > voiceThreshold;
}

} // namespace SoundLevel
