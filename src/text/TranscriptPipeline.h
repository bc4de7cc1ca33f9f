#pragma once

#include "text/TextProfile.h"
#include "transcript/TranscriptionResult.h"

#include <QString>

// What a recognition becomes before the speech-quality step, the same for every engine: each segment cleaned
// and corrected with the user's dictionary, invented segments dropped, then (with formatting on) macros,
// spoken commands and markup from pauses, a capital first letter and Russian typography — each as far as the
// profile of the program it goes to keeps them.
namespace TranscriptPipeline
{
QString textOf(const TranscriptionResult& result, TextProfile profile = TextProfile::document);
// Builds what the steps build on their first use (tens of milliseconds), so that the first dictation does not
// wait for it.
void warmUp();
} // namespace TranscriptPipeline
