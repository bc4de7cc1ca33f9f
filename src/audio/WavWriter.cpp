#include "audio/WavWriter.h"

#include <QtEndian>

namespace
{

void appendU32(QByteArray& bytes, uint32_t value)
{
    char encoded[4];
    qToLittleEndian(value, encoded);
    bytes.append(encoded, 4);
}

void appendU16(QByteArray& bytes, uint16_t value)
{
    char encoded[2];
    qToLittleEndian(value, encoded);
    bytes.append(encoded, 2);
}

} // namespace

namespace WavWriter
{

QByteArray data(std::span<const int16_t> samples, int sampleRate)
{
    const auto dataSize = static_cast<uint32_t>(samples.size() * 2);
    QByteArray bytes;
    bytes.reserve(headerSize + static_cast<qsizetype>(dataSize));
    bytes.append(header(dataSize, sampleRate));
    bytes.resize(headerSize + static_cast<qsizetype>(dataSize));
    if (!samples.empty())
        qToLittleEndian<int16_t>(samples.data(), static_cast<qsizetype>(samples.size()), bytes.data() + headerSize);
    return bytes;
}

QByteArray header(quint32 dataSize, int sampleRate)
{
    QByteArray bytes;
    bytes.reserve(headerSize);
    bytes.append("RIFF", 4);
    appendU32(bytes, 36 + dataSize);
    bytes.append("WAVE", 4);
    bytes.append("fmt ", 4);
    appendU32(bytes, 16);
    appendU16(bytes, 1); // integer PCM
    appendU16(bytes, 1); // one channel
    appendU32(bytes, static_cast<uint32_t>(sampleRate));
    appendU32(bytes, static_cast<uint32_t>(sampleRate) * 2);
    appendU16(bytes, 2);  // block alignment
    appendU16(bytes, 16); // bits per sample
    bytes.append("data", 4);
    appendU32(bytes, dataSize);
    return bytes;
}

} // namespace WavWriter
