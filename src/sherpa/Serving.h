#pragma once

#include "SherpaLibrary.h"

#include <QByteArray>

#include <cstdio>

// The serving mode: the model stays loaded while requests come in one per line on the input, each the path of
// a WAV file (UTF-8, the line ending in '\n'); each gets one line on the output, the library's JSON result
// or {"error":"…"}, in the order they came. Ends when the input ends.
namespace Serving
{
// Longer lines are answered with an error and skipped: no path of ours comes near this.
constexpr qsizetype longestLine = 4096;

enum class Read
{
    line,
    tooLong,
    // The input ended in the middle of a line.
    cutOff,
    end,
};

// The next request line, without its '\n'.
Read readLine(FILE* input, QByteArray& line);
// An answer line that says what went wrong.
QByteArray errorLine(const QString& problem);
// Serves until the input ends; the exit status.
int run(const SherpaLibrary& library, const SherpaLibrary::Recognizer* model, FILE* input, FILE* output);
} // namespace Serving
