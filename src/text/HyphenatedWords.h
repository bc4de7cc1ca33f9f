#pragma once

#include <QString>

// Words written with a hyphen that a recognizer splits with a space: «кто то», «из за», «во первых», «по
// русски», «кое как» → «кто-то», «из-за», «во-первых», «по-русски», «кое-как». A closed list, never a guess:
// the particles -то, -либо, -нибудь and кое- after pronouns and adverbs, «из-за», «из-под», «во-первых»,
// «во-вторых», «во-третьих» before a comma, and «по» with the common adverbs in -ски and -цки, or in -ому
// and -ему where nothing follows that they could be a preposition's object with («по своему желанию»).
namespace HyphenatedWords
{
QString joined(const QString& text);
} // namespace HyphenatedWords
