#pragma once

#include <QList>
#include <QString>

#include <algorithm>

// One finding of the speech-quality analysis of a dictated phrase. Ranges count UTF-16 code units of the
// analysed text, so that the review window can highlight them and cleaning can edit by them.
struct SpeechIssue
{
    enum class Kind
    {
        filler,
        repetition,
        phrasing,
        style,
    };

    struct Range
    {
        qsizetype location = 0;
        qsizetype length = 0;

        qsizetype end() const { return location + length; }
        // True when the two ranges share at least one code unit.
        bool intersects(const Range& other) const
        {
            return std::max(location, other.location) < std::min(end(), other.end());
        }
        friend bool operator==(const Range&, const Range&) = default;
    };

    Kind kind = Kind::filler;
    Range range;
    // The words the finding is about.
    QString text;
    // The Russian explanation shown to the user.
    QString hint;
    // Whether cleaning may cut or replace the finding.
    bool removable = false;
    // Further places that belong to the same finding and are highlighted with it.
    QList<Range> extraRanges;

    friend bool operator==(const SpeechIssue&, const SpeechIssue&) = default;
};
