#pragma once

#include "transcript/SpeechSegment.h"

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

// Gives a dictation structure from its pauses and wording — headings, paragraphs, enumerations, lists
// after a colon, runs of infinitive phrases — by writing the spoken commands that the text formatter
// renders.
namespace AutoFormatter
{
// The dictation rewritten with spoken commands, or nothing when it is too short or shows no structure.
// `macroTriggers` are normalized triggers: phrases that are triggers are never touched.
std::optional<QString> annotate(const std::vector<SpeechSegment>& segments, const QSet<QString>& macroTriggers);
// "Во-первых, купить молоко." → "Купить молоко."; nothing when the text does not start with an ordinal
// word or nothing useful follows it.
std::optional<QString> stripOrdinal(const QString& text);
} // namespace AutoFormatter
