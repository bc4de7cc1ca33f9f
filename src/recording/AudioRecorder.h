#pragma once

#include "core/Result.h"
#include "platform/MicrophoneCapture.h"
#include "voice/VoiceStream.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// Records the microphone chosen with "inputDevice" (the default one when none is chosen or the chosen one
// is gone) while a dictation runs and keeps the sound as 16 kHz mono signed 16-bit
// samples. Reports a meter level (loudness), judges each block by the app's voice detector and counts the voiced
// milliseconds, and asks its owner to end a recording
// that reaches 10 minutes or whose microphone went away. One instance, reused for every recording; lives
// on the main thread, where its callbacks run.
class AudioRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int sampleRate = MicrophoneCapture::sampleRate;
    static constexpr float levelGain = 9.0F;
    static constexpr std::size_t lengthLimit = 9'600'000;

    explicit AudioRecorder(std::unique_ptr<MicrophoneCapture> capture = MicrophoneCapture::createDefault());
    ~AudioRecorder() override;

    // Begins a recording with empty samples and returns at once; the samples come as soon as the sound
    // server's stream runs. When no sound server or microphone answers, the recording ends by itself and
    // onStartFailed gets code 20 "нет входного аудиоустройства" (the server's reason goes to the log); the
    // same error comes back here when the sound client cannot even be set up. Harmless while running.
    Result<Done> start();
    // Ends the recording and answers every sample since the last start. Harmless when idle.
    std::vector<std::int16_t> stop();
    // Ends the recording and hands it over as a complete WAV file without copying the samples; the
    // recorder holds no samples afterwards.
    QByteArray takeWav();
    std::size_t sampleCount() const;
    // Samples [from, to) of the current recording, clamped to what was recorded.
    std::vector<std::int16_t> samples(std::size_t from, std::size_t to) const;
    bool isRunning() const { return isRunning_; }
    // Milliseconds of the current recording the voice detector judged to be speech.
    double voicedAccumMs() const;

    // 0…1, for the meter; once per block.
    std::function<void(float level)> onLevel;
    // Once per block: how many samples the recording holds with it, and whether it was judged voiced.
    std::function<void(std::size_t endSample, bool voiced)> onBlock;
    // Once per recording, when it must end by itself: the length limit was reached or the microphone
    // went away. The owner finishes the recording as usual; what was captured is kept.
    std::function<void()> onAutoStop;
    // Once per recording whose microphone could not be opened after start() returned; the recorder is
    // idle again.
    std::function<void(const Error& error)> onStartFailed;

private:
    Result<Done> startCapture(const QString& source);
    static Error noInputDevice(const QString& reason);
    // On the capture thread.
    void consume(std::uint64_t session, std::span<const std::int16_t> block);
    // On the main thread; `session` tells a stale report from one of the current capture.
    void captureEnded(std::uint64_t session, const QString& reason);
    bool isSpeech(std::span<const std::int16_t> block);
    void releaseVoice();
    void deliver(std::uint64_t session, float level, bool voiced, std::size_t totalSamples);
    void autoStop();

    std::unique_ptr<MicrophoneCapture> capture_;
    mutable std::mutex lock_;
    // A WAV file in the making: room for the header, then the samples as recorded (little-endian, as the
    // sound server delivers them on every platform we build for).
    QByteArray recording_;
    double voicedAccumMs_ = 0;
    bool autoStopFired_ = false;
    bool isRunning_ = false;
    // The source of the capture under way (empty: the default one), and which capture it is.
    QString source_;
    std::uint64_t session_ = 0;
    // The voice detector's stream of the recording under way, used by the capture thread; held only while recording,
    // so that a finished recording's pieces are judged by the same loaded model.
    std::mutex voiceLock_;
    std::optional<VoiceStream> voice_;
};
