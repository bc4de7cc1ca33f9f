#pragma once

#include <QString>

#include <cstdint>

// One timed piece of recognized speech.
struct SpeechSegment
{
    QString text;
    // Milliseconds from the beginning of the recording.
    int64_t startMs = 0;
    int64_t endMs = 0;
    // The recognizer's probability that the piece holds no speech; 0 when not reported.
    double noSpeechProb = 0;
    // The recognizer's average token log-probability (0 or negative); 0 when not reported.
    double avgLogprob = 0;

    bool operator==(const SpeechSegment&) const = default;
};
