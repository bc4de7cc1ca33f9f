#pragma once

#include <QString>

// The three signals of a dictation, shipped in the resources' sounds/ folder.
namespace Sounds
{
enum class Sound
{
    // Recording starts.
    tink,
    // Recording stops or is cancelled.
    pop,
    // Something went wrong.
    basso,
};

// Plays the sound in the background when the setting "sounds" is on; returns at once.
void play(Sound sound);
QString file(Sound sound);
} // namespace Sounds
