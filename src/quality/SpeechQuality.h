#pragma once

#include "quality/SpeechIssue.h"

#include <QList>
#include <QString>

// The rule-based judge of one dictated Russian phrase: filler words, repeated words, disputed phrasings
// and style problems, and a score from 1 to 5. Pure functions; any thread may call them.
namespace SpeechQuality
{

// Every finding of the text, ordered by location.
QList<SpeechIssue> analyze(const QString& text);
// 5 for a clean phrase down to 1; a disputed phrasing weighs twice as much as any other finding.
int score(const QList<SpeechIssue>& issues);
// The label of a score ("идеально" … "совсем всё плохо").
QString scoreWord(int score);

// The sentences of the text: each with its closing punctuation, without the whitespace between them.
QList<SpeechIssue::Range> sentenceRanges(const QString& text);
// "2 раза", "5 раз", "22 раза".
QString timesWord(qsizetype count);

} // namespace SpeechQuality
