#include "audio/MonoResampler.h"

#include "audio/AudioFileDecoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <utility>

// The resampler and the input it is set up for.
struct MonoResampler::Setup
{
    Setup() = default;
    Setup(Setup&& other) noexcept
        : rate(other.rate), format(other.format), context(std::exchange(other.context, nullptr))
    {
        layout = other.layout;
        other.layout = {};
    }
    Setup& operator=(Setup&&) = delete;
    ~Setup()
    {
        swr_free(&context);
        av_channel_layout_uninit(&layout);
    }

    bool matches(const Setup& other) const
    {
        return rate == other.rate && format == other.format && av_channel_layout_compare(&layout, &other.layout) == 0;
    }

    int rate = 0;
    int format = -1;
    AVChannelLayout layout{};
    SwrContext* context = nullptr;
};

namespace
{

// Some containers do not say how the channels are laid out, only how many there are.
int layoutOf(const AVFrame& frame, AVChannelLayout& layout)
{
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&frame.ch_layout) == 0) {
        av_channel_layout_default(&layout, frame.ch_layout.nb_channels);
        return 0;
    }
    return av_channel_layout_copy(&layout, &frame.ch_layout);
}

} // namespace

int MonoResampler::overLimitStatus()
{
    return AVERROR(E2BIG);
}

MonoResampler::MonoResampler(QByteArray& output, qsizetype limitBytes) : output_(output), limit_(limitBytes) {}

MonoResampler::~MonoResampler() = default;

int MonoResampler::take(const AVFrame& frame)
{
    if (!acceptsRate(frame.sample_rate) || frame.ch_layout.nb_channels <= 0 || frame.format < 0)
        return AVERROR_INVALIDDATA;
    Setup wanted;
    wanted.rate = frame.sample_rate;
    wanted.format = frame.format;
    if (const int status = layoutOf(frame, wanted.layout); status < 0)
        return status;
    if (!setup_ || !setup_->matches(wanted)) {
        // What the resampler set up for the frames before still holds is theirs.
        if (const int status = drain(); status < 0)
            return status;
        if (const int status = setUp(frame, std::move(wanted)); status < 0)
            return status;
    }
    return convert(const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
}

int MonoResampler::drain()
{
    return setup_ ? convert(nullptr, 0) : 0;
}

int MonoResampler::setUp(const AVFrame& frame, Setup&& setup)
{
    setup_.reset();
    auto next = std::make_unique<Setup>(std::move(setup));
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    int status = swr_alloc_set_opts2(&next->context, &mono, AV_SAMPLE_FMT_S16, AudioFileDecoder::sampleRate,
                                     &next->layout, AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr);
    if (status >= 0)
        status = swr_init(next->context);
    if (status >= 0)
        setup_ = std::move(next);
    return status;
}

int MonoResampler::convert(const uint8_t** input, int count)
{
    const int room = swr_get_out_samples(setup_->context, count);
    if (room < 0)
        return room;
    const qsizetype start = output_.size();
    if (start + qsizetype(room) * 2 > limit_)
        return overLimitStatus();
    output_.resize(start + qsizetype(room) * 2);
    auto* samples = reinterpret_cast<uint8_t*>(output_.data() + start);
    // The recorder's samples are little-endian, as S16 is on every platform we build for.
    const int converted = swr_convert(setup_->context, &samples, room, input, count);
    output_.resize(start + qsizetype(std::max(converted, 0)) * 2);
    return converted < 0 ? converted : 0;
}
