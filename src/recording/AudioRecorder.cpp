#include "recording/AudioRecorder.h"

#include "audio/WavWriter.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "voice/SoundLevel.h"
#include "voice/VoiceDetector.h"

#include <QPointer>

#include <algorithm>
#include <cstring>

namespace
{

constexpr int noInputDeviceCode = 20;

void logFallback(const QString& source, const QString& reason)
{
    Log::info(QStringLiteral("Микрофон «%1» недоступен (%2) — пишу с микрофона по умолчанию").arg(source, reason));
}

} // namespace

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "recordings are kept as little-endian WAV samples");

AudioRecorder::AudioRecorder(std::unique_ptr<MicrophoneCapture> capture) : capture_(std::move(capture))
{
    recording_.resize(WavWriter::headerSize);
}

AudioRecorder::~AudioRecorder()
{
    if (isRunning_)
        capture_->stop();
}

Result<Done> AudioRecorder::start()
{
    if (isRunning_)
        return Done{};
    {
        std::lock_guard guard(lock_);
        recording_.clear();
        // A recording is usually well under a minute; this keeps the first seconds free of reallocation.
        recording_.reserve(WavWriter::headerSize + qsizetype(sampleRate) * 60 * 2);
        recording_.resize(WavWriter::headerSize);
        voicedAccumMs_ = 0;
    }
    autoStopFired_ = false;
    {
        std::lock_guard guard(voiceLock_);
        voice_.emplace(VoiceDetector::shared().stream());
    }
    const QString chosen = SettingsStore::shared().stringForKey(SettingsKey::inputDevice).value_or(QString());
    Result<Done> started = startCapture(chosen);
    if (!started && !chosen.isEmpty()) {
        logFallback(chosen, started.error().description());
        started = startCapture(QString());
    }
    if (!started) {
        releaseVoice();
        return noInputDevice(started.error().description());
    }
    isRunning_ = true;
    return Done{};
}

Result<Done> AudioRecorder::startCapture(const QString& source)
{
    source_ = source;
    const std::uint64_t session = ++session_;
    return capture_->start(
        source, [this, session](std::span<const std::int16_t> block) { consume(session, block); },
        [this, session](const QString& reason) {
            MainThread::post(this, [this, session, reason] { captureEnded(session, reason); });
        });
}

Error AudioRecorder::noInputDevice(const QString& reason)
{
    Log::info(QStringLiteral("Микрофон недоступен: ") + reason);
    return Error::tolvan(noInputDeviceCode, QStringLiteral("нет входного аудиоустройства"));
}

std::vector<std::int16_t> AudioRecorder::stop()
{
    if (isRunning_) {
        capture_->stop();
        isRunning_ = false;
    }
    releaseVoice();
    return samples(0, sampleCount());
}

QByteArray AudioRecorder::takeWav()
{
    stop();
    std::lock_guard guard(lock_);
    QByteArray wav;
    wav.swap(recording_);
    const auto dataBytes = static_cast<quint32>(wav.size() - WavWriter::headerSize);
    const QByteArray header = WavWriter::header(dataBytes, sampleRate);
    std::copy(header.begin(), header.end(), wav.begin());
    recording_.resize(WavWriter::headerSize);
    return wav;
}

std::size_t AudioRecorder::sampleCount() const
{
    std::lock_guard guard(lock_);
    return static_cast<std::size_t>(recording_.size() - WavWriter::headerSize) / 2;
}

std::vector<std::int16_t> AudioRecorder::samples(std::size_t from, std::size_t to) const
{
    std::lock_guard guard(lock_);
    const auto count = static_cast<std::size_t>(recording_.size() - WavWriter::headerSize) / 2;
    to = std::min(to, count);
    from = std::min(from, to);
    std::vector<std::int16_t> range(to - from);
    if (!range.empty())
        std::memcpy(range.data(), recording_.constData() + WavWriter::headerSize + from * 2, range.size() * 2);
    return range;
}

double AudioRecorder::voicedAccumMs() const
{
    std::lock_guard guard(lock_);
    return voicedAccumMs_;
}

void AudioRecorder::consume(std::uint64_t session, std::span<const std::int16_t> block)
{
    if (block.empty())
        return;
    const float level = SoundLevel::rms(block);
    const bool voiced = isSpeech(block);
    std::size_t total = 0;
    {
        std::lock_guard guard(lock_);
        recording_.append(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size_bytes()));
        if (voiced)
            voicedAccumMs_ += static_cast<double>(block.size()) / 16.0;
        total = static_cast<std::size_t>(recording_.size() - WavWriter::headerSize) / 2;
    }
    MainThread::post(this, [this, session, level, voiced, total] { deliver(session, level, voiced, total); });
}

bool AudioRecorder::isSpeech(std::span<const std::int16_t> block)
{
    std::lock_guard guard(voiceLock_);
    // A block that comes after the recording ended is judged by loudness; nobody counts it.
    return voice_ ? voice_->isSpeech(block) : SoundLevel::isVoiced(block);
}

void AudioRecorder::releaseVoice()
{
    std::lock_guard guard(voiceLock_);
    voice_.reset();
}

void AudioRecorder::deliver(std::uint64_t session, float level, bool voiced, std::size_t totalSamples)
{
    // The last block of a capture, delivered by its stop, says nothing about the next recording.
    if (session != session_)
        return;
    if (onLevel)
        onLevel(std::min(level * levelGain, 1.0F));
    if (onBlock)
        onBlock(totalSamples, voiced);
    if (totalSamples > lengthLimit && isRunning_)
        autoStop();
}

void AudioRecorder::captureEnded(std::uint64_t session, const QString& reason)
{
    if (session != session_ || !isRunning_)
        return;
    if (sampleCount() > 0) {
        Log::info(QStringLiteral("Запись прервана: ") + reason);
        autoStop();
        return;
    }
    capture_->stop();
    QString failure = reason;
    if (!source_.isEmpty()) {
        logFallback(source_, reason);
        const Result<Done> fallback = startCapture(QString());
        if (fallback)
            return;
        failure = fallback.error().description();
    }
    isRunning_ = false;
    releaseVoice();
    const Error error = noInputDevice(failure);
    if (onStartFailed)
        onStartFailed(error);
}

void AudioRecorder::autoStop()
{
    if (autoStopFired_)
        return;
    autoStopFired_ = true;
    if (onAutoStop)
        onAutoStop();
}
