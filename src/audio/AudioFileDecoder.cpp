#include "audio/AudioFileDecoder.h"

#include "audio/MonoResampler.h"
#include "audio/WavWriter.h"
#include "core/Log.h"
#include "platform/RegularFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
}

#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

namespace
{

// The demuxers and decoders of the formats the app takes, by FFmpeg's names ("mov" reads M4A).
const char* const formatNames = "wav,flac,ogg,mp3,mov,aac";
const char* const codecNames = "pcm_u8,pcm_s16le,pcm_s16be,pcm_s24le,pcm_s24be,pcm_s32le,pcm_s32be,pcm_f32le,"
                               "pcm_f32be,pcm_f64le,pcm_f64be,pcm_alaw,pcm_mulaw,flac,vorbis,opus,mp3float,mp3,aac,"
                               "aac_fixed";
constexpr int ioBufferSize = 64 * 1024;

struct IoFreer
{
    void operator()(AVIOContext* context) const
    {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
};
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

using Io = std::unique_ptr<AVIOContext, IoFreer>;
using Format = std::unique_ptr<AVFormatContext, FormatCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;

constexpr qsizetype maxBytes = qsizetype(AudioFileDecoder::maxSeconds) * AudioFileDecoder::sampleRate * 2;

QString technical(int status)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return QString::fromUtf8(text);
}

Error failure(const QString& name, const QString& reason, int status = 0)
{
    if (status != 0)
        Log::info(QStringLiteral("FFmpeg: %1: %2").arg(name, technical(status)));
    return Error::tolvan(AudioFileDecoder::errorCode,
                         QStringLiteral("не удалось прочитать аудиофайл «%1»: %2").arg(name, reason));
}

Error notAudio(const QString& name, int status = 0)
{
    return failure(name, QStringLiteral("это не аудиофайл или его формат не поддерживается"), status);
}

Error decodingError(const QString& name, int status)
{
    return failure(name, QStringLiteral("ошибка декодирования, файл повреждён"), status);
}

Error tooLong(const QString& name)
{
    return failure(name, QStringLiteral("запись длиннее %1 ч").arg(AudioFileDecoder::maxSeconds / 3600));
}

// "concat:a|b", "http://…", "file:…": what FFmpeg would take for a protocol and a user may mean for one.
bool looksLikeAddress(const QString& path)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(path).hasMatch();
}

int readInput(void* opaque, uint8_t* buffer, int size)
{
    const qint64 read = static_cast<QIODevice*>(opaque)->read(reinterpret_cast<char*>(buffer), size);
    if (read < 0)
        return AVERROR(EIO);
    return read == 0 ? AVERROR_EOF : int(read);
}

int64_t seekInput(void* opaque, int64_t offset, int whence)
{
    auto* input = static_cast<QIODevice*>(opaque);
    const qint64 size = input->size();
    if (whence & AVSEEK_SIZE)
        return size;
    const qint64 base = (whence & ~AVSEEK_FORCE) == SEEK_SET   ? 0
                        : (whence & ~AVSEEK_FORCE) == SEEK_CUR ? input->pos()
                        : (whence & ~AVSEEK_FORCE) == SEEK_END ? size
                                                               : -1;
    if (base < 0 || offset < -base || offset > size - base || !input->seek(base + offset))
        return AVERROR(EINVAL);
    return base + offset;
}

// Nothing but the opened file: a playlist or a container that names another file or an address gets nothing.
int refuseToOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

// The file's packets of one stream through its decoder, and each frame through the resampler.
class Decoding
{
public:
    Decoding(QString name, Codec codec)
        : name_(std::move(name)), codec_(std::move(codec)), frame_(av_frame_alloc()),
          wav_(WavWriter::header(0, AudioFileDecoder::sampleRate)), resampler_(wav_, WavWriter::headerSize + maxBytes)
    {}

    // A null packet drains the decoder and the resampler.
    std::optional<Error> feed(const AVPacket* packet)
    {
        if (!frame_)
            return decodingError(name_, AVERROR(ENOMEM));
        int status = avcodec_send_packet(codec_.get(), packet);
        // A damaged packet costs its few milliseconds, not the file.
        if (status == AVERROR_INVALIDDATA) {
            damaged_ = true;
            return std::nullopt;
        }
        if (status < 0)
            return decodingError(name_, status);
        while ((status = avcodec_receive_frame(codec_.get(), frame_.get())) >= 0) {
            const int taken = resampler_.take(*frame_);
            av_frame_unref(frame_.get());
            if (taken < 0)
                return resamplingError(taken);
        }
        if (status == AVERROR_EOF) {
            if (const int drained = resampler_.drain(); drained < 0)
                return resamplingError(drained);
            return std::nullopt;
        }
        if (status != AVERROR(EAGAIN) && status != AVERROR_INVALIDDATA)
            return decodingError(name_, status);
        return std::nullopt;
    }

    Result<QByteArray> finish()
    {
        const qsizetype bytes = wav_.size() - WavWriter::headerSize;
        if (bytes == 0 && damaged_)
            return decodingError(name_, AVERROR_INVALIDDATA);
        if (bytes == 0)
            return failure(name_, QStringLiteral("в нём нет звука"));
        wav_.replace(0, WavWriter::headerSize, WavWriter::header(quint32(bytes), AudioFileDecoder::sampleRate));
        return std::move(wav_);
    }

private:
    Error resamplingError(int status) const
    {
        return status == MonoResampler::overLimitStatus() ? tooLong(name_) : decodingError(name_, status);
    }

    QString name_;
    Codec codec_;
    Frame frame_;
    QByteArray wav_;
    MonoResampler resampler_;
    bool damaged_ = false;
};

// The file opened, with its first audio stream's decoder, or why not. The I/O context outlives the format's.
struct Opened
{
    Io io;
    Format format;
    int stream = -1;
    Codec codec;
};

AVDictionary* allowedFormatsAndCodecs()
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", formatNames, 0);
    av_dict_set(&options, "codec_whitelist", codecNames, 0);
    // No protocol is named "none"; none is needed with the file already open.
    av_dict_set(&options, "protocol_whitelist", "none", 0);
    return options;
}

std::optional<Error> openFormat(Opened& opened, QIODevice& input, const QString& name)
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
    if (buffer)
        opened.io.reset(avio_alloc_context(buffer, ioBufferSize, 0, &input, readInput, nullptr, seekInput));
    if (!opened.io) {
        av_free(buffer);
        return decodingError(name, AVERROR(ENOMEM));
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return decodingError(name, AVERROR(ENOMEM));
    context->pb = opened.io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->io_open = refuseToOpen;
    AVDictionary* options = allowedFormatsAndCodecs();
    // It frees the context when it fails. The name helps it guess a format from the extension.
    const int status = avformat_open_input(&context, QFile::encodeName(name).constData(), nullptr, &options);
    av_dict_free(&options);
    if (status < 0)
        return notAudio(name, status);
    opened.format.reset(context);
    return std::nullopt;
}

std::optional<Error> openDecoder(Opened& opened, const QString& name)
{
    const AVCodec* decoder = nullptr;
    opened.stream = av_find_best_stream(opened.format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (opened.stream < 0 || !decoder || av_match_list(decoder->name, codecNames, ',') <= 0)
        return notAudio(name, opened.stream < 0 ? opened.stream : 0);
    const AVStream* stream = opened.format->streams[opened.stream];
    if (!MonoResampler::acceptsRate(stream->codecpar->sample_rate) || stream->codecpar->ch_layout.nb_channels <= 0)
        return notAudio(name);
    if (opened.format->duration != AV_NOPTS_VALUE &&
        opened.format->duration / AV_TIME_BASE > AudioFileDecoder::maxSeconds)
        return tooLong(name);
    opened.codec.reset(avcodec_alloc_context3(decoder));
    if (!opened.codec)
        return decodingError(name, AVERROR(ENOMEM));
    int status = avcodec_parameters_to_context(opened.codec.get(), stream->codecpar);
    if (status >= 0)
        status = avcodec_open2(opened.codec.get(), decoder, nullptr);
    if (status < 0)
        return notAudio(name, status);
    return std::nullopt;
}

Result<Opened> open(QIODevice& input, const QString& name)
{
    Opened opened;
    if (std::optional<Error> error = openFormat(opened, input, name))
        return *error;
    if (const int status = avformat_find_stream_info(opened.format.get(), nullptr); status < 0)
        return notAudio(name, status);
    if (std::optional<Error> error = openDecoder(opened, name))
        return *error;
    return opened;
}

} // namespace

namespace AudioFileDecoder
{

Result<QByteArray> decode(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    Result<std::unique_ptr<QFile>> file = RegularFile::open(path);
    if (!file && file.error().code() == RegularFile::missingCode && looksLikeAddress(path))
        return Error::tolvan(errorCode, QStringLiteral("не удалось прочитать аудиофайл «%1»: это не путь к файлу, а "
                                                       "адрес; ссылки и протоколы не поддерживаются")
                                            .arg(path));
    if (!file)
        return failure(name, file.error().description());
    return decode(*file.value(), name);
}

Result<QByteArray> decode(QIODevice& input, const QString& name)
{
    // Its complaints about damaged frames are ours to report, once, in Russian.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    Result<Opened> opened = open(input, name);
    if (!opened)
        return opened.error();
    AVFormatContext* format = opened.value().format.get();
    const int stream = opened.value().stream;
    Decoding decoding(name, std::move(opened.value().codec));
    const Packet packet(av_packet_alloc());
    if (!packet)
        return decodingError(name, AVERROR(ENOMEM));
    int status = 0;
    while ((status = av_read_frame(format, packet.get())) >= 0) {
        std::optional<Error> error;
        if (packet->stream_index == stream)
            error = decoding.feed(packet.get());
        av_packet_unref(packet.get());
        if (error)
            return *error;
    }
    if (status != AVERROR_EOF)
        return decodingError(name, status);
    if (const std::optional<Error> error = decoding.feed(nullptr))
        return *error;
    return decoding.finish();
}

} // namespace AudioFileDecoder
