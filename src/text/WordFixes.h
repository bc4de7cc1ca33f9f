#pragma once

#include "text/Corrections.h"

#include <QString>

#include <vector>

// The words a user fixed in a text Tolvan pasted, as dictionary pairs to offer: pasted and edited text compared word
// by word. Only small, plausible fixes count — one or two places where one or two words became a similar spelling
// (close in letters, or in sound once Latin letters are read as Russian ones). Nothing comes of a rewritten
// sentence, of words only deleted or added, of a change of case alone, or of a small word's ending changed (a
// fix of grammar, not of hearing).
namespace WordFixes
{
std::vector<CorrectionPair> between(const QString& pasted, const QString& edited);
} // namespace WordFixes
