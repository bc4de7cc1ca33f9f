#include "core/Log.h"
#include "platform/SoundPlayer.h"

#include <QFile>
#include <QThreadPool>
#include <QtEndian>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <optional>

namespace
{

struct PcmSound
{
    pa_sample_spec spec{};
    QByteArray samples;
};

// The format chunk and the data of a 16-bit PCM WAV file.
std::optional<PcmSound> parseWav(const QByteArray& file)
{
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return std::nullopt;
    PcmSound sound;
    bool haveFormat = false;
    qsizetype offset = 12;
    while (offset + 8 <= file.size()) {
        const QByteArray id = file.mid(offset, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + offset + 4);
        const qsizetype body = offset + 8;
        if (size > static_cast<quint64>(file.size() - body))
            return std::nullopt;
        if (id == "fmt " && size >= 16) {
            const char* format = file.constData() + body;
            const auto encoding = qFromLittleEndian<quint16>(format);
            const auto channels = qFromLittleEndian<quint16>(format + 2);
            const auto rate = qFromLittleEndian<quint32>(format + 4);
            const auto bits = qFromLittleEndian<quint16>(format + 14);
            if (encoding != 1 || bits != 16 || channels == 0 || channels > 8 || rate == 0)
                return std::nullopt;
            sound.spec = pa_sample_spec{PA_SAMPLE_S16LE, rate, static_cast<std::uint8_t>(channels)};
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            sound.samples = file.mid(body, size);
            return sound;
        }
        offset = body + size + (size & 1);
    }
    return std::nullopt;
}

void playNow(const QString& wavFile)
{
    QFile file(wavFile);
    if (!file.open(QIODevice::ReadOnly)) {
        Log::info(QStringLiteral("Звук не найден: ") + wavFile);
        return;
    }
    const std::optional<PcmSound> sound = parseWav(file.readAll());
    if (!sound) {
        Log::info(QStringLiteral("Звук в неизвестном формате: ") + wavFile);
        return;
    }
    int error = 0;
    pa_simple* stream =
        pa_simple_new(nullptr, "Tolvan", PA_STREAM_PLAYBACK, nullptr, "Сигнал", &sound->spec, nullptr, nullptr, &error);
    if (!stream) {
        Log::info(QStringLiteral("Звук не воспроизведён: ") + QString::fromUtf8(pa_strerror(error)));
        return;
    }
    if (pa_simple_write(stream, sound->samples.constData(), static_cast<std::size_t>(sound->samples.size()), &error) ==
        0)
        pa_simple_drain(stream, &error);
    pa_simple_free(stream);
}

} // namespace

namespace SoundPlayer
{

void play(const QString& wavFile)
{
    // A thread of their own, so that a sound server that never answers holds up sounds only, never the
    // shared pool's work; never destroyed, so that leaving the application never waits for it.
    static QThreadPool* const sounds = [] {
        auto* pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        return pool;
    }();
    sounds->start([wavFile] { playNow(wavFile); });
}

} // namespace SoundPlayer
