#include "dictation/ChunkCutter.h"

#include <limits>

std::optional<std::size_t> ChunkCutter::addBlock(std::size_t endSample, bool voiced)
{
    const std::size_t start = blockStart_;
    // A report out of order cuts nothing.
    if (endSample <= start)
        return std::nullopt;
    blockStart_ = endSample;
    if (voiced) {
        if (!speechStart_)
            speechStart_ = start;
        pauseStart_.reset();
        return std::nullopt;
    }
    if (!pauseStart_)
        pauseStart_ = start;
    if (!speechStart_ || endSample - *pauseStart_ < minimumPause || *pauseStart_ - *speechStart_ < minimumSpeech)
        return std::nullopt;
    return *pauseStart_ + minimumPause / 2;
}

bool ChunkCutter::needsForcedCut(std::size_t endSample) const
{
    return endSample > lastCut_ + forcedCutAfter;
}

std::size_t ChunkCutter::forcedCut(std::span<const std::int16_t> samples) const
{
    double quietest = std::numeric_limits<double>::max();
    std::size_t best = std::min(quietSearchFrom, samples.size());
    // 50 ms steps: fine enough to land in a breath, cheap on a 25 s piece.
    for (std::size_t window = quietSearchFrom; window + quietWindow <= samples.size(); window += quietWindow / 2) {
        double energy = 0;
        for (std::size_t index = window; index < window + quietWindow; ++index)
            energy += double(samples[index]) * double(samples[index]);
        if (energy < quietest) {
            quietest = energy;
            best = window + quietWindow / 2;
        }
    }
    return lastCut_ + best;
}

void ChunkCutter::cutAt(std::size_t position)
{
    lastCut_ = position;
    speechStart_.reset();
    // The rest of a pause we cut in does not start the next piece's speech, nor count as its pause.
    if (pauseStart_)
        pauseStart_ = position;
}
