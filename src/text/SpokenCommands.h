#pragma once

#include <QSet>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// The formatting commands a user says as a sentence of its own, each as TextKeys::normalize gives it.
namespace SpokenCommands
{
// A new paragraph.
const QSet<QString>& paragraph();
// A line break inside a paragraph or list item.
const QSet<QString>& lineBreak();
const QSet<QString>& bulletList();
const QSet<QString>& numberedList();
const QSet<QString>& endList();
// Takes back the sentence said last.
const QSet<QString>& strike();
// Words that may open a list item.
const QSet<QString>& itemWords();
// Each heading word with its level (1 the largest).
const std::vector<std::pair<QString, int>>& headingWords();
std::optional<int> headingLevel(const QString& key);
// Whether the key is a paragraph, line-break, list, end-of-list or strike command or a heading word.
bool isStructural(const QString& key);
} // namespace SpokenCommands
