#include "engines/AudioFileDecoder.h"

#include "core/Log.h"
#include "engines/WavWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <QFile>
#include <QFileInfo>

#include <memory>
#include <mutex>
#include <optional>

namespace
{

struct FormatCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFreer
{
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using Format = std::unique_ptr<AVFormatContext, FormatCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;

constexpr qsizetype maxBytes = qsizetype(AudioFileDecoder::maxSeconds) * AudioFileDecoder::sampleRate * 2;

QString technical(int status)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return QString::fromUtf8(text);
}

Error failure(const QString& path, const QString& reason, int status = 0)
{
    if (status != 0)
        Log::info(QStringLiteral("FFmpeg: %1: %2").arg(path, technical(status)));
    return Error::tolvan(
        AudioFileDecoder::errorCode,
        QStringLiteral("не удалось прочитать аудиофайл «%1»: %2").arg(QFileInfo(path).fileName(), reason));
}

Error notAudio(const QString& path, int status = 0)
{
    return failure(path, QStringLiteral("это не аудиофайл или его формат не поддерживается"), status);
}

Error decodingError(const QString& path, int status)
{
    return failure(path, QStringLiteral("ошибка декодирования, файл повреждён"), status);
}

Error tooLong(const QString& path)
{
    return failure(path, QStringLiteral("запись длиннее %1 ч").arg(AudioFileDecoder::maxSeconds / 3600));
}

int stopRequested(void* stop)
{
    return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

// The file's packets of one stream through its decoder and the resampler, appended to a WAV under way.
class Decoding
{
public:
    Decoding(QString path, Codec codec) : path_(std::move(path)), codec_(std::move(codec)), frame_(av_frame_alloc())
    {
        wav_ = WavWriter::header(0, AudioFileDecoder::sampleRate);
    }

    // A null packet drains the decoder and the resampler.
    std::optional<Error> feed(const AVPacket* packet)
    {
        if (!frame_)
            return decodingError(path_, AVERROR(ENOMEM));
        int status = avcodec_send_packet(codec_.get(), packet);
        // A damaged packet costs its few milliseconds, not the file.
        if (status == AVERROR_INVALIDDATA) {
            damaged_ = true;
            return std::nullopt;
        }
        if (status < 0)
            return decodingError(path_, status);
        while ((status = avcodec_receive_frame(codec_.get(), frame_.get())) >= 0) {
            const std::optional<Error> error =
                resample(const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
            av_frame_unref(frame_.get());
            if (error)
                return error;
        }
        if (status == AVERROR_EOF && resampler_)
            return resample(nullptr, 0);
        if (status != AVERROR(EAGAIN) && status != AVERROR_EOF && status != AVERROR_INVALIDDATA)
            return decodingError(path_, status);
        return std::nullopt;
    }

    Result<QByteArray> finish()
    {
        const qsizetype bytes = wav_.size() - WavWriter::headerSize;
        if (bytes == 0 && damaged_)
            return decodingError(path_, AVERROR_INVALIDDATA);
        if (bytes == 0)
            return failure(path_, QStringLiteral("в нём нет звука"));
        wav_.replace(0, WavWriter::headerSize, WavWriter::header(quint32(bytes), AudioFileDecoder::sampleRate));
        return std::move(wav_);
    }

private:
    // The frame's channels are known only once a frame is decoded (some containers do not say).
    std::optional<Error> openResampler()
    {
        AVChannelLayout input{};
        if (frame_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&frame_->ch_layout) == 0)
            av_channel_layout_default(&input, frame_->ch_layout.nb_channels);
        else if (const int status = av_channel_layout_copy(&input, &frame_->ch_layout); status < 0)
            return decodingError(path_, status);
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        SwrContext* context = nullptr;
        int status = swr_alloc_set_opts2(&context, &mono, AV_SAMPLE_FMT_S16, AudioFileDecoder::sampleRate, &input,
                                         AVSampleFormat(frame_->format), frame_->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&input);
        resampler_.reset(context);
        if (status >= 0)
            status = swr_init(resampler_.get());
        if (status < 0)
            return decodingError(path_, status);
        return std::nullopt;
    }

    std::optional<Error> resample(const uint8_t** input, int count)
    {
        if (!resampler_) {
            if (const std::optional<Error> error = openResampler())
                return error;
        }
        const int room = swr_get_out_samples(resampler_.get(), count);
        if (room < 0)
            return decodingError(path_, room);
        const qsizetype start = wav_.size();
        if (start - WavWriter::headerSize + qsizetype(room) * 2 > maxBytes)
            return tooLong(path_);
        wav_.resize(start + qsizetype(room) * 2);
        auto* output = reinterpret_cast<uint8_t*>(wav_.data() + start);
        // The recorder's samples are little-endian, as S16 is on every platform we build for.
        const int converted = swr_convert(resampler_.get(), &output, room, input, count);
        if (converted < 0)
            return decodingError(path_, converted);
        wav_.resize(start + qsizetype(converted) * 2);
        return std::nullopt;
    }

    QString path_;
    Codec codec_;
    Frame frame_;
    Resampler resampler_;
    QByteArray wav_;
    bool damaged_ = false;
};

// The file opened, with its first audio stream's decoder, or why not.
struct Opened
{
    Format format;
    int stream = -1;
    Codec codec;
};

Result<Format> openFormat(const QString& path, std::stop_token& stop)
{
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return decodingError(path, AVERROR(ENOMEM));
    context->interrupt_callback = AVIOInterruptCB{stopRequested, &stop};
    // It frees the context when it fails.
    const int status = avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr);
    if (status == AVERROR_EXIT)
        return Error::tolvan(AudioFileDecoder::cancelledCode, QStringLiteral("чтение аудиофайла отменено"));
    if (status < 0)
        return notAudio(path, status);
    return Format(context);
}

Result<Opened> open(const QString& path, std::stop_token& stop)
{
    const QFileInfo file(path);
    if (!file.exists())
        return failure(path, QStringLiteral("файл не найден"));
    if (!file.isFile() || !file.isReadable())
        return failure(path, QStringLiteral("нет доступа к файлу"));
    Result<Format> format = openFormat(path, stop);
    if (!format)
        return format.error();
    Opened opened{std::move(format).value(), -1, nullptr};
    if (const int status = avformat_find_stream_info(opened.format.get(), nullptr); status < 0)
        return notAudio(path, status);
    const AVCodec* decoder = nullptr;
    opened.stream = av_find_best_stream(opened.format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (opened.stream < 0 || !decoder)
        return notAudio(path, opened.stream);
    const AVStream* stream = opened.format->streams[opened.stream];
    if (stream->codecpar->sample_rate <= 0 || stream->codecpar->ch_layout.nb_channels <= 0)
        return notAudio(path);
    if (opened.format->duration != AV_NOPTS_VALUE &&
        opened.format->duration / AV_TIME_BASE > AudioFileDecoder::maxSeconds)
        return tooLong(path);
    opened.codec.reset(avcodec_alloc_context3(decoder));
    if (!opened.codec)
        return decodingError(path, AVERROR(ENOMEM));
    int status = avcodec_parameters_to_context(opened.codec.get(), stream->codecpar);
    if (status >= 0)
        status = avcodec_open2(opened.codec.get(), decoder, nullptr);
    if (status < 0)
        return notAudio(path, status);
    return opened;
}

} // namespace

namespace AudioFileDecoder
{

Result<QByteArray> decode(const QString& path, std::stop_token stop)
{
    // Its complaints about damaged frames are ours to report, once, in Russian.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    Result<Opened> opened = open(path, stop);
    if (!opened)
        return opened.error();
    AVFormatContext* format = opened.value().format.get();
    const int stream = opened.value().stream;
    Decoding decoding(path, std::move(opened.value().codec));
    const Packet packet(av_packet_alloc());
    if (!packet)
        return decodingError(path, AVERROR(ENOMEM));
    int status = 0;
    while ((status = av_read_frame(format, packet.get())) >= 0) {
        std::optional<Error> error;
        if (packet->stream_index == stream)
            error = decoding.feed(packet.get());
        av_packet_unref(packet.get());
        if (error)
            return *error;
        if (stop.stop_requested())
            return Error::tolvan(cancelledCode, QStringLiteral("чтение аудиофайла отменено"));
    }
    if (status == AVERROR_EXIT)
        return Error::tolvan(cancelledCode, QStringLiteral("чтение аудиофайла отменено"));
    if (status != AVERROR_EOF)
        return decodingError(path, status);
    if (const std::optional<Error> error = decoding.feed(nullptr))
        return *error;
    return decoding.finish();
}

} // namespace AudioFileDecoder
