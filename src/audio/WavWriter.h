#pragma once

#include <QByteArray>

#include <cstdint>
#include <span>

// Packs 16-bit mono samples into the bytes of a complete canonical RIFF/WAVE file held in memory.
namespace WavWriter
{
constexpr int headerSize = 44;

QByteArray data(std::span<const int16_t> samples, int sampleRate);
// The 44 bytes in front of `dataBytes` bytes of samples.
QByteArray header(quint32 dataBytes, int sampleRate);
} // namespace WavWriter
