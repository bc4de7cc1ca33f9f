#pragma once

#include "quality/SpeechIssue.h"

#include <QList>
#include <QString>

// The cleaned form of a dictated phrase: fillers and repeated words cut with the punctuation that set them off,
// disputed phrasings replaced, spacing tidied and sentences capitalized. Pure functions; any thread may call them.
namespace SpeechCleaning
{

// The text with every removable finding cut or replaced, tidied and capitalized.
QString clean(const QString& text, const QList<SpeechIssue>& issues);

struct CleanedText
{
    QString text;
    qsizetype removedCount = 0;
};
// `SpeechQuality::analyze` followed by `clean`; the text stays as it is when nothing is removable.
CleanedText autoClean(const QString& text);

// Upper-cases the first letter of the text and of every sentence or line; a digit first leaves it alone.
QString capitalizeSentences(const QString& text);

} // namespace SpeechCleaning
