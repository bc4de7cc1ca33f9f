#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// A recording as the recognizer takes it: 16-bit PCM WAV, one channel, read whole and checked against the
// file's real size, so a damaged header can neither overrun the file nor ask for gigabytes.
namespace WaveFile
{
struct Samples
{
    int32_t sampleRate = 0;
    // Scaled to -1…1.
    std::vector<float> values;
};

// The samples of the file, or nothing with the reason in `problem`.
std::optional<Samples> read(const QString& path, QString& problem);
} // namespace WaveFile
