#pragma once

#include <QString>

// Plays short sound files on the session's sound server.
namespace SoundPlayer
{
// Plays a 16-bit PCM WAV file in the background and returns at once; a missing file, an unreadable
// file or an absent sound server is logged and otherwise ignored.
void play(const QString& wavFile);
} // namespace SoundPlayer
