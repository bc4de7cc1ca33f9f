#pragma once

#include <QString>

// The forms of a text that words are compared by: spoken commands, macro triggers, hallucination patterns and
// the vocabularies of the number rules.
namespace TextKeys
{
// Lower case, "ё" folded to "е", everything that is neither letter nor number turned into a space, spaces
// collapsed and trimmed. The one key for commands, macro triggers and the hallucination patterns.
QString normalize(const QString& text);
// Lower case with "ё" as "е", one UTF-16 unit at a time, so that positions in the result are positions in
// the text.
QString foldInPlace(const QString& text);
} // namespace TextKeys
