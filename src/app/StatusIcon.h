#pragma once

#include <QIcon>

// The tray icon, drawn rather than loaded so that it needs no image plug-in and stays sharp at any
// panel size. Every state carries a light halo around a dark or coloured glyph, so that it reads on light
// and dark panels alike.
namespace StatusIcon
{
// A microphone.
QIcon idle();
// A red recording disc.
QIcon recording();
// A purple disc with a sound wave.
QIcon transcribing();
} // namespace StatusIcon
