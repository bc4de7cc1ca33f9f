#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <stop_token>

// Turns an audio file of any format FFmpeg reads (WAV, FLAC, OGG/Opus, MP3, M4A/AAC…) into a WAV as the recorder
// writes it: 16 kHz, mono, 16-bit. Its first audio stream only. Blocks for as long as the decoding takes (seconds
// for an hour of audio): callers on the main thread run it on a worker. Any thread.
namespace AudioFileDecoder
{
constexpr int errorCode = 70;
constexpr int cancelledCode = 71;
constexpr int sampleRate = 16000;
// Longer recordings are refused: three hours are 345 MB of samples, and as many again once cut into pieces.
constexpr int maxSeconds = 3 * 3600;

// Gives up with cancelledCode soon after `stop` is requested.
Result<QByteArray> decode(const QString& path, std::stop_token stop = {});
} // namespace AudioFileDecoder
