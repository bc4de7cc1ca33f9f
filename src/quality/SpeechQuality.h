#pragma once

#include "quality/SpeechIssue.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The rule-based judge of one dictated Russian phrase: filler words, repeated words, disputed phrasings
// and style problems, a score from 1 to 5, and a cleaned text. Pure functions; any thread may call them.
namespace SpeechQuality
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

// Every finding of the text, ordered by location.
QList<SpeechIssue> analyze(const QString& text);
// 5 for a clean phrase down to 1; a disputed phrasing weighs twice as much as any other finding.
int score(const QList<SpeechIssue>& issues);
// The label of a score ("идеально" … "совсем всё плохо").
QString scoreWord(int score);
// The text with every removable finding cut or replaced, tidied and capitalized.
QString clean(const QString& text, const QList<SpeechIssue>& issues);

struct CleanedText
{
    QString text;
    qsizetype removedCount = 0;
};
// `analyze` followed by `clean`; the text stays as it is when nothing is removable.
CleanedText autoClean(const QString& text);

// The sentences of the text: each with its closing punctuation, without the whitespace between them.
QList<SpeechIssue::Range> sentenceRanges(const QString& text);
// "2 раза", "5 раз", "22 раза".
QString timesWord(qsizetype count);
// Upper-cases the first letter of the text and of every sentence or line; a digit first leaves it alone.
QString capitalizeSentences(const QString& text);

} // namespace SpeechQuality
