#pragma once

#include <QString>

// User-perceived characters (extended grapheme clusters).
namespace Graphemes
{
qsizetype count(const QString& text);
} // namespace Graphemes
