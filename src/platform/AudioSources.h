#pragma once

#include <QString>

#include <vector>

// One input of the sound server: its name, used to open it, and the description shown to the user.
struct AudioSource
{
    QString name;
    QString description;

    bool operator==(const AudioSource&) const = default;
};

// The inputs the sound server (PulseAudio, or PipeWire's pulse server) offers.
namespace AudioSources
{
// The microphones and other capture sources in the server's order; the monitors of outputs are left out.
// Empty when no server answers within the timeout.
std::vector<AudioSource> list(int timeoutMs = 500);
} // namespace AudioSources
