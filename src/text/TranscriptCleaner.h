#pragma once

#include <QString>

// Tidies a recognizer's raw text before anything else looks at it.
namespace TranscriptCleaner
{
// Removes "[music]"-style and "*sigh*"-style annotations, empties a text that is only one "(remark)",
// joins words split by line breaks, collapses other white space (keeping the line feeds between sentences
// and lines of dialogue) and trims. Controls go first (withoutControls).
QString clean(const QString& text);
// The text without the characters that may drive a terminal or hide from the eye what it holds: C0 controls but the
// line feed and tab (a CR-LF pair counts as a line feed), DEL, C1 controls and every invisible format character
// (bidirectional embeddings, overrides and isolates, zero-width spaces and joiners, the byte-order mark, tag
// characters, the soft hyphen); a line or paragraph separator becomes a line feed. Spaces are kept, no-break and
// thin ones too. A broken or hostile model must not end a terminal's bracketed paste and run what follows.
QString withoutControls(const QString& text);
} // namespace TranscriptCleaner
