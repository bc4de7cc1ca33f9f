#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// Turns an audio file of a format the app takes (WAV, FLAC, OGG/Opus/Vorbis, MP3, M4A/AAC) into a WAV as the recorder
// writes it: 16 kHz, mono, 16-bit. Its first audio stream only, through whatever changes of rate, channels or sample
// format it holds. FFmpeg reads the opened file alone: no protocol, no other file a playlist or a container names.
// Blocks for as long as the decoding takes (seconds for an hour of audio), and as long as a read of the file takes:
// the app runs it in a child process (AudioDecoderProcess). Any thread.
namespace AudioFileDecoder
{
constexpr int errorCode = 70;
constexpr int sampleRate = 16000;
// Longer recordings are refused: three hours are 345 MB of samples, and as many again once cut into pieces.
constexpr int maxSeconds = 3 * 3600;

// The regular file at `path`: a link, a FIFO, a device or a directory is refused, and so is an address.
Result<QByteArray> decode(const QString& path);
// What `input` holds from its start; `name` is the file's name in the messages.
Result<QByteArray> decode(QIODevice& input, const QString& name);
} // namespace AudioFileDecoder
