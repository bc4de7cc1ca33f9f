#pragma once

#include <QString>

// What the installed fonts can draw. A character that no font covers shows as an empty box: an emoji on a
// system without an emoji font, for one. Main thread only.
namespace Glyphs
{
// Whether some installed font has a glyph for the character.
bool covered(char32_t character);
// The text without the characters no installed font covers, and without the space that followed one.
QString displayable(const QString& text);
} // namespace Glyphs
