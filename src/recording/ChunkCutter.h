#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Decides where a running recording may be cut into pieces that can be recognized while the user still
// speaks: in the middle of a pause of at least 0.7 s that follows at least 3 s of speech since the last
// cut. A piece that grows beyond 25 s without such a pause is cut at its quietest moment after 20 s.
// Positions are sample indices of the whole recording; main thread. A finished recording is cut the same way.
class ChunkCutter
{
public:
    struct Piece
    {
        std::size_t from = 0;
        std::size_t to = 0;
        bool operator==(const Piece&) const = default;
    };

    static constexpr std::size_t samplesPerMs = 16;
    static constexpr std::size_t minimumSpeech = 3000 * samplesPerMs;
    static constexpr std::size_t minimumPause = 700 * samplesPerMs;
    static constexpr std::size_t forcedCutAfter = 25000 * samplesPerMs;
    static constexpr std::size_t quietSearchFrom = 20000 * samplesPerMs;
    static constexpr std::size_t quietWindow = 100 * samplesPerMs;

    // The block that ends at `endSample`, as the recorder judged it. A position to cut at when the
    // block completes a long enough pause.
    std::optional<std::size_t> addBlock(std::size_t endSample, bool voiced);
    // Whether the piece since the last cut has grown too long without a pause.
    bool needsForcedCut(std::size_t endSample) const;
    // Where the piece [lastCut, lastCut + samples.size()) is cut when it has no pause: the middle of its
    // quietest 100 ms window starting 20 s or more after the last cut.
    std::size_t forcedCut(std::span<const std::int16_t> samples) const;
    // Moves the start of the next piece to `position`.
    void cutAt(std::size_t position);
    std::size_t lastCut() const { return lastCut_; }
    // Whether the piece since the last cut holds a voiced block; one without is not worth recognizing.
    bool heardSpeech() const { return speechStart_.has_value(); }

    // The pieces of a finished recording, where a recording under way would have been cut, in the recorder's
    // blocks judged as the recorder judges them; the last one ends with the recording. Pieces without a voiced
    // block are left out.
    static std::vector<Piece> pieces(std::span<const std::int16_t> samples);

private:
    std::size_t lastCut_ = 0;
    std::size_t blockStart_ = 0;
    std::optional<std::size_t> speechStart_;
    std::optional<std::size_t> pauseStart_;
};
