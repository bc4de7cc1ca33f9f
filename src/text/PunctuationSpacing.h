#pragma once

#include <QString>

// The spaces a recognizer puts around punctuation: none before «,» «.» «:» «;» «!» «?» «)», one after «:»
// before a word, none inside brackets and quotation marks («( если … )» → «(если …)», «" план Б "» →
// «"план Б"»). Times, scores («3:2») and smileys («:)») keep their marks as they are.
namespace PunctuationSpacing
{
QString tidied(const QString& text);
} // namespace PunctuationSpacing
