#pragma once

#include "quality/SpeechQuality.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const SpeechIssue::Range& range, std::ostream* stream)
{
    *stream << '{' << range.location << ", " << range.length << '}';
}

inline void PrintTo(const SpeechIssue& issue, std::ostream* stream)
{
    *stream << "kind " << static_cast<int>(issue.kind) << " at ";
    PrintTo(issue.range, stream);
    *stream << " «" << issue.text.toStdString() << "» " << issue.hint.toStdString()
            << (issue.removable ? " removable" : "");
    for (const SpeechIssue::Range& extra : issue.extraRanges)
        PrintTo(extra, stream);
}

inline QList<SpeechIssue> issuesOfKind(const QList<SpeechIssue>& issues, SpeechIssue::Kind kind)
{
    QList<SpeechIssue> selected;
    for (const SpeechIssue& issue : issues) {
        if (issue.kind == kind)
            selected.append(issue);
    }
    return selected;
}

// Distinct two-letter words that no rule treats specially: none is a filler or "я", none is frequent.
inline QStringList neutralWords(int count)
{
    static const QString letters = QStringLiteral("бвгдзклмнпрстфхцчшщ");
    QStringList words;
    for (int index = 0; words.size() < count; ++index)
        words.append(QString(letters.at(index / letters.size() % letters.size())) + letters.at(index % letters.size()));
    return words;
}
