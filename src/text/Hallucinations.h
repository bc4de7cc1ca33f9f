#pragma once

#include <QString>

// Recognizers trained on subtitled video invent credits, outros and calls to subscribe on silence or
// noise. Decides whether one recognized text is such an invention.
namespace Hallucinations
{
// True when the text must be dropped: it normalizes to nothing, it is a subtitle credit whatever the
// figures, a typical outro while the figures point to silence, or the figures themselves say silence.
bool shouldDrop(const QString& text, double noSpeech, double logprob);
} // namespace Hallucinations
