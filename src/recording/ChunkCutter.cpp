#include "recording/ChunkCutter.h"

#include "platform/MicrophoneCapture.h"
#include "voice/VoiceStream.h"

#include <algorithm>
#include <limits>

namespace
{

constexpr auto blockSamples = static_cast<std::size_t>(MicrophoneCapture::blockSamples);

// Whether any of the blocks that end in [from, to) was judged speech.
bool holdsVoice(const std::vector<bool>& verdicts, std::size_t from, std::size_t to)
{
    for (std::size_t block = from / blockSamples; block < verdicts.size() && block * blockSamples < to; ++block) {
        if (verdicts[block] && (block + 1) * blockSamples > from)
            return true;
    }
    return false;
}

} // namespace

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

std::vector<ChunkCutter::Piece> ChunkCutter::pieces(std::span<const std::int16_t> samples)
{
    const std::vector<bool> verdicts = VoiceStream::verdicts(samples, blockSamples);
    ChunkCutter cutter;
    std::vector<Piece> pieces;
    const auto cutAt = [&](std::size_t position) {
        const Piece piece{cutter.lastCut(), position};
        if (holdsVoice(verdicts, piece.from, piece.to))
            pieces.push_back(piece);
        cutter.cutAt(position);
    };
    for (std::size_t end = 0; end < samples.size();) {
        const std::size_t start = end;
        end = std::min(end + blockSamples, samples.size());
        std::optional<std::size_t> cut = cutter.addBlock(end, verdicts[start / blockSamples]);
        if (!cut && cutter.needsForcedCut(end))
            cut = cutter.forcedCut(samples.subspan(cutter.lastCut(), end - cutter.lastCut()));
        if (cut)
            cutAt(*cut);
    }
    if (cutter.lastCut() < samples.size())
        cutAt(samples.size());
    return pieces;
}
