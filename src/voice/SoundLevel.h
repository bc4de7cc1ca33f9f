#pragma once

#include <cstdint>
#include <span>

// How loud a block of 16-bit samples is, and whether it counts as voice: what the recorder judges each block by, and
// a finished recording is cut by.
namespace SoundLevel
{
constexpr float voiceThreshold = 0.012F;

// The RMS of a block on the −1…1 scale, in single precision, in one pass.
float rms(std::span<const std::int16_t> block);
bool isVoiced(std::span<const std::int16_t> block);
} // namespace SoundLevel
