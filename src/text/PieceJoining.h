#pragma once

#include <QString>
#include <QStringList>

// Pieces of one dictation, recognized one by one, joined into one text. A recognizer starts each piece with a
// capital and often ends it with a full stop, also where the speaker only paused; where the join falls inside
// a sentence, the pieces are made to read as one: «Я пришёл домой.» + «И сразу лёг спать.» → «Я пришёл домой
// и сразу лёг спать.», «Он сказал» + «Что придёт.» → «Он сказал, что придёт.».
namespace PieceJoining
{
// The pieces, trimmed and joined by spaces. A piece continues the one before only when it starts with a
// conjunction that does not open a sentence of its own («и», «а», «но», «что», «чтобы», «который»…) or the
// one before ends with a preposition or a conjunction («в», «и», «что»…), and never after «?», «!», «…» or a
// full stop of an abbreviation. «Я», a word in capitals and a name (a word capitalized inside a piece, or
// one of a few common ones) keep their capital.
QString join(const QStringList& pieces);
} // namespace PieceJoining
