#pragma once

#include <QString>

// Tidies a recognizer's raw text before anything else looks at it.
namespace TranscriptCleaner
{
// Joins words split by line breaks, removes "[music]"-style and "*sigh*"-style annotations, empties a
// text that is only one "(remark)", collapses white space and trims.
QString clean(const QString& text);
} // namespace TranscriptCleaner
