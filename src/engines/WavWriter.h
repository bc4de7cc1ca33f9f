#pragma once

#include <QByteArray>

#include <cstdint>
#include <span>

// Packs 16-bit mono samples into the bytes of a complete canonical RIFF/WAVE file held in memory.
namespace WavWriter
{
QByteArray data(std::span<const int16_t> samples, int sampleRate);
}
