#pragma once

#include <QString>

// Tidies a recognizer's raw text before anything else looks at it.
namespace TranscriptCleaner
{
// Removes "[music]"-style and "*sigh*"-style annotations, empties a text that is only one "(remark)",
// joins words split by line breaks, collapses other white space (keeping the line feeds between sentences
// and lines of dialogue) and trims.
QString clean(const QString& text);
} // namespace TranscriptCleaner
