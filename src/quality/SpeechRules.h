#pragma once

#include "core/Regex.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the judge of a dictated phrase looks for: the disputed phrasings, the filler words, the patterns that find
// them, and what ends a sentence. Built once; any thread may read them.
namespace SpeechRules
{

struct PhrasingRule
{
    // An ICU pattern, searched case-insensitively.
    QString pattern;
    QString hint;
    // When present the finding is removable and cleaning puts this text in its place.
    std::optional<QString> replacement;
};

// The disputed phrasings, in the order they are searched.
const std::vector<PhrasingRule>& phrasingRules();
// The filler words and phrases, each longer phrase before the shorter ones it contains.
const QStringList& fillers();

// One pattern per filler, in the same order; group 1 is the filler where it stands apart.
const std::vector<Regex>& fillerPatterns();
// The compiled pattern of each phrasing rule, in the same order.
const std::vector<Regex>& phrasingPatterns();

// ".", "!", "?", "…" or a line break.
bool isSentenceEnd(char32_t character);

} // namespace SpeechRules
