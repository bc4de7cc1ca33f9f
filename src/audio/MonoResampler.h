#pragma once

#include <QByteArray>

#include <memory>

struct AVFrame;
struct SwrContext;

// Turns decoded audio frames into 16 kHz mono 16-bit samples appended to a buffer. A stream may change its rate,
// channels or sample format part-way (joined MP3 files, chained Ogg, ADTS AAC): the resampler is set up anew for
// such a frame, once it has given out what it still held of the frames before. Any thread, one at a time.
class MonoResampler
{
public:
    // Whether a recording can have this sample rate (4–384 kHz): a header claiming gigahertz would have the
    // resampler's filters take gigabytes.
    static constexpr bool acceptsRate(int rate) { return rate >= 4000 && rate <= 384000; }

    // The status when the samples would pass `limitBytes`.
    static int overLimitStatus();

    MonoResampler(QByteArray& output, qsizetype limitBytes);
    ~MonoResampler();
    MonoResampler(const MonoResampler&) = delete;
    MonoResampler& operator=(const MonoResampler&) = delete;

    // 0, or FFmpeg's negative status.
    int take(const AVFrame& frame);
    // What the resampler still holds, at the end.
    int drain();

private:
    struct Setup;

    int setUp(const AVFrame& frame, Setup&& setup);
    int convert(const uint8_t** input, int count);

    QByteArray& output_;
    qsizetype limit_;
    std::unique_ptr<Setup> setup_;
};
