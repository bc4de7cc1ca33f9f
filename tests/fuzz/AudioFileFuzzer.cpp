// The audio decoder on whatever a file may hold: random bytes, and damaged WAV, FLAC, OGG and MP3 files, one of
// them switching from stereo to mono part-way.
#include "FuzzSupport.h"
#include "audio/AudioFileDecoder.h"
#include "audio/WavWriter.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer input(&bytes);
    Fuzz::require(input.open(QIODevice::ReadOnly), "the input opens");
    const Result<QByteArray> wav = AudioFileDecoder::decode(input, QStringLiteral("input"));
    if (!wav) {
        Fuzz::require(wav.error().code() == AudioFileDecoder::errorCode &&
                          wav.error().description().contains(QStringLiteral("«input»")),
                      "a refusal names the file", wav.error().description());
        return 0;
    }
    const qsizetype sampleBytes = wav.value().size() - WavWriter::headerSize;
    Fuzz::require(sampleBytes > 0 && sampleBytes % 2 == 0 &&
                      sampleBytes <= qsizetype(AudioFileDecoder::maxSeconds) * AudioFileDecoder::sampleRate * 2,
                  "the WAV holds whole 16-bit samples, no more than allowed");
    Fuzz::require(wav.value().left(WavWriter::headerSize) ==
                      WavWriter::header(quint32(sampleBytes), AudioFileDecoder::sampleRate),
                  "the header tells the samples that follow as 16 kHz mono");
    return 0;
}
