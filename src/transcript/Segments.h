#pragma once

#include "transcript/SpeechSegment.h"

#include <QByteArray>
#include <QJsonObject>

#include <functional>
#include <optional>
#include <vector>

// Decoding segments from a recognizer's JSON answer, and the segment-list JSON that the command line
// reads and writes: an array of {"text", "start", "end"} objects with times in milliseconds.
namespace Segments
{
// The segments of a whisper-server answer ("segments" with start/end in seconds, or whisper's
// offsets/t0/t1 forms). Pieces that continue the previous word are merged into it. Never fails:
// anything unusable is skipped.
std::vector<SpeechSegment> parseSegments(const QJsonObject& answer);

// One element of a segment-list JSON. The text goes through `prepare` (the dictation clean-up and
// the user's corrections); nothing when the element has no text or `prepare` leaves none.
std::optional<SpeechSegment> fromListElement(const QJsonObject& element,
                                             const std::function<QString(const QString&)>& prepare);

// The segment-list JSON of the segments, indented, UTF-8.
QByteArray toListJson(const std::vector<SpeechSegment>& segments);

// value × scale truncated toward zero; nothing when that is not finite or does not fit 64 bits. Times from
// a recognizer's answer go through it before they become integers.
std::optional<int64_t> scaledTime(double value, double scale);
} // namespace Segments
