#pragma once

#include "platform/MicrophoneCapture.h"

#include <memory>

// The microphone through libpulse (PulseAudio, or PipeWire's pulse server): a record stream of a named or
// the default source, 16 kHz mono S16LE, read by the client library's own thread.
class PulseMicrophone : public MicrophoneCapture
{
public:
    PulseMicrophone();
    ~PulseMicrophone() override;

    Result<Done> start(const QString& source, BlockHandler onBlock, EndHandler onEnded) override;
    void stop() override;

    struct Connection;

private:
    std::unique_ptr<Connection> connection_;
};
