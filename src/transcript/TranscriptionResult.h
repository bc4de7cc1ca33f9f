#pragma once

#include "transcript/SpeechSegment.h"

#include <QString>

#include <vector>

// What a recognizer made of one recording: the whole text (the recognizer's own when it has one, not
// necessarily the segments joined) and the timed pieces in recognition order, possibly none.
struct TranscriptionResult
{
    QString text;
    std::vector<SpeechSegment> segments;

    bool operator==(const TranscriptionResult&) const = default;
};
