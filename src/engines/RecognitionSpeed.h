#pragma once

#include <QString>

#include <optional>

// How fast each model recognizes on this machine: the time a recognition took over the length of its audio, as
// measured on real use and smoothed over the recognitions, kept in the settings by model identifier. Safe to use
// from any thread.
namespace RecognitionSpeed
{
// Recognitions a figure rests on before it counts as measured.
inline constexpr int measuredAfter = 3;

struct Figure
{
    // Recognition time / audio length.
    double factor = 0;
    int recognitions = 0;
};

// One recognition of `audioMs` of audio that took `workMs`.
void record(const QString& modelID, qint64 audioMs, qint64 workMs);
std::optional<Figure> of(const QString& modelID);
// Measured over a few recognitions as slower than speech.
bool slowerThanSpeech(const QString& modelID);
// "≈ 0,3× длительности речи", "медленнее речи: 2,1×" or "скорость не измерена".
QString describe(const QString& modelID);
// The first time the model is measured slower than speech, and never again for it: what the user is told.
std::optional<QString> firstSlowNotice(const QString& modelID);
} // namespace RecognitionSpeed
