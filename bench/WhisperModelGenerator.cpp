// Writes a whisper.cpp model file (legacy ggml format, f16) of a real layout with random weights, for timing
// whisper-server on a model of a realistic size. The header (mel filters, vocabulary) is taken from an existing
// multilingual model file, the hyperparameters and tensors are made here.
//   whisper_model_generator SOURCE.bin base|small|turbo OUTPUT.bin
// "turbo" is large-v3-turbo's layout: 128 mel bins, 32 encoder and 4 decoder layers of width 1280 (with the
// source's vocabulary of 51865 tokens, one fewer than large-v3's, which changes nothing measurable).
// The encoder is random throughout. The decoder does all its work too, but its blocks add nothing to the
// residual stream, so each step's prediction follows from the position alone: after the prompt
// (start, language, task) it writes <|0.00|> Привет <|30.00|>: one window for any piece of up to 30 s, as a
// real model's pass over a dictated phrase, instead of rambling through fallbacks.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace
{

struct Layout
{
    const char* name;
    int32_t state;
    int32_t heads;
    int32_t encoderLayers;
    int32_t decoderLayers;
    int32_t mels;
};

const Layout layouts[] = {{"base", 512, 8, 6, 6, 80}, {"small", 768, 12, 12, 12, 80}, {"turbo", 1280, 20, 32, 4, 128}};

constexpr int32_t audioContext = 1500;
constexpr int32_t textContext = 448;
// Where the mel filter bank starts: after the magic and eleven hyperparameters.
constexpr size_t filtersOffset = 12 * 4;
constexpr int32_t vocabulary = 51865;
constexpr int32_t firstTimestamp = 50364;
// Decoder positions 2, 3 and 4 (the last prompt token and the first two written ones) predict these.
constexpr int32_t script[] = {firstTimestamp, 38932, firstTimestamp + 1500};
constexpr int32_t firstScriptedPosition = 2;

uint16_t toHalf(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const int32_t exponent = static_cast<int32_t>((bits >> 23) & 0xff) - 127 + 15;
    const uint32_t mantissa = bits & 0x7fffffu;
    if (exponent <= 0)
        return static_cast<uint16_t>(sign);
    if (exponent >= 31)
        return static_cast<uint16_t>(sign | 0x7c00u);
    return static_cast<uint16_t>(sign | (static_cast<uint32_t>(exponent) << 10) | (mantissa >> 13));
}

class Random
{
public:
    // Uniform in [-limit, limit].
    float next(float limit)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return (static_cast<float>(state_ >> 40) / static_cast<float>(1ull << 24) * 2.0f - 1.0f) * limit;
    }

private:
    uint64_t state_ = 0x9e3779b97f4a7c15ull;
};

class Writer
{
public:
    explicit Writer(std::ofstream& out) : out_(out) {}

    template <typename T> void value(T number) { out_.write(reinterpret_cast<const char*>(&number), sizeof number); }

    // One tensor record: dimensions innermost first, as whisper.cpp reads them. Matrices and convolution
    // kernels are f16, everything else f32; `fill` gives element `index`.
    template <typename Fill> void tensor(const std::string& name, std::vector<int32_t> shape, Fill fill)
    {
        const bool half = shape.size() >= 2 && name.ends_with(".weight");
        value<int32_t>(static_cast<int32_t>(shape.size()));
        value<int32_t>(static_cast<int32_t>(name.size()));
        value<int32_t>(half ? 1 : 0);
        int64_t count = 1;
        for (const int32_t extent : shape) {
            value(extent);
            count *= extent;
        }
        out_.write(name.data(), static_cast<std::streamsize>(name.size()));
        std::vector<char> buffer;
        buffer.reserve(static_cast<size_t>(count) * (half ? 2 : 4));
        for (int64_t index = 0; index < count; ++index) {
            const float element = fill(index);
            if (half) {
                const uint16_t bits = toHalf(element);
                buffer.insert(buffer.end(), reinterpret_cast<const char*>(&bits),
                              reinterpret_cast<const char*>(&bits) + 2);
            } else {
                buffer.insert(buffer.end(), reinterpret_cast<const char*>(&element),
                              reinterpret_cast<const char*>(&element) + 4);
            }
        }
        out_.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    }

private:
    std::ofstream& out_;
};

// The bytes from the start of the file to its first tensor: magic, hyperparameters, filters, vocabulary.
bool readHeader(const char* path, std::vector<char>& header)
{
    std::ifstream in(path, std::ios::binary);
    auto read32 = [&in] {
        int32_t number = 0;
        in.read(reinterpret_cast<char*>(&number), sizeof number);
        return number;
    };
    if (static_cast<uint32_t>(read32()) != 0x67676d6cu)
        return false;
    in.seekg(11 * 4, std::ios::cur);
    const int32_t filterMels = read32();
    const int32_t filterFft = read32();
    in.seekg(static_cast<std::streamoff>(filterMels) * filterFft * 4, std::ios::cur);
    const int32_t words = read32();
    for (int32_t word = 0; word < words && in; ++word)
        in.seekg(read32(), std::ios::cur);
    if (!in)
        return false;
    const std::streamoff end = in.tellg();
    header.resize(static_cast<size_t>(end));
    in.seekg(0);
    in.read(header.data(), end);
    return static_cast<bool>(in);
}

// The header with a filter bank of `mels` bins in place of the source's: triangles spread evenly over the FFT's
// bins, enough for whisper.cpp to compute a spectrogram of the size the encoder takes.
std::vector<char> withMelFilters(const std::vector<char>& header, int32_t mels)
{
    int32_t sourceMels = 0;
    int32_t fft = 0;
    std::memcpy(&sourceMels, header.data() + filtersOffset, 4);
    std::memcpy(&fft, header.data() + filtersOffset + 4, 4);
    if (sourceMels == mels)
        return header;
    std::vector<char> result(header.begin(), header.begin() + filtersOffset);
    auto append = [&result](const void* bytes, size_t size) {
        result.insert(result.end(), static_cast<const char*>(bytes), static_cast<const char*>(bytes) + size);
    };
    append(&mels, 4);
    append(&fft, 4);
    for (int32_t mel = 0; mel < mels; ++mel) {
        const float centre = static_cast<float>(mel + 1) * static_cast<float>(fft) / static_cast<float>(mels + 1);
        const float width = static_cast<float>(fft) / static_cast<float>(mels + 1);
        for (int32_t bin = 0; bin < fft; ++bin) {
            const float weight = std::max(0.0f, 1.0f - std::fabs(static_cast<float>(bin) - centre) / width) / width;
            append(&weight, 4);
        }
    }
    const size_t vocabularyOffset = filtersOffset + 8 + static_cast<size_t>(sourceMels) * fft * 4;
    result.insert(result.end(), header.begin() + static_cast<std::ptrdiff_t>(vocabularyOffset), header.end());
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const Layout* layout = nullptr;
    for (const Layout& candidate : layouts) {
        if (argc == 4 && std::strcmp(argv[2], candidate.name) == 0)
            layout = &candidate;
    }
    std::vector<char> header;
    if (layout == nullptr || !readHeader(argv[1], header)) {
        std::cerr << "usage: " << argv[0] << " SOURCE.bin base|small|turbo OUTPUT.bin (SOURCE: a multilingual model)\n";
        return 2;
    }
    header = withMelFilters(header, layout->mels);
    const int32_t hyper[11] = {vocabulary,
                               audioContext,
                               layout->state,
                               layout->heads,
                               layout->encoderLayers,
                               textContext,
                               layout->state,
                               layout->heads,
                               layout->decoderLayers,
                               layout->mels,
                               1};
    std::memcpy(header.data() + 4, hyper, sizeof hyper);

    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    Writer writer(out);
    Random random;
    const int32_t s = layout->state;
    auto weights = [&](float limit) { return [&random, limit](int64_t) { return random.next(limit); }; };
    auto constant = [](float number) { return [number](int64_t) { return number; }; };
    const float limit = 0.02f * std::sqrt(3.0f);

    writer.tensor("encoder.positional_embedding", {s, audioContext}, weights(limit));
    writer.tensor("encoder.conv1.weight", {3, layout->mels, s}, weights(limit));
    writer.tensor("encoder.conv1.bias", {1, s}, constant(0));
    writer.tensor("encoder.conv2.weight", {3, s, s}, weights(limit));
    writer.tensor("encoder.conv2.bias", {1, s}, constant(0));
    // `mute`: the output projection is zero, so that the block adds nothing to the residual stream.
    auto attention = [&](const std::string& prefix, bool mute) {
        writer.tensor(prefix + "_ln.weight", {s}, constant(1));
        writer.tensor(prefix + "_ln.bias", {s}, constant(0));
        writer.tensor(prefix + ".query.weight", {s, s}, weights(limit));
        writer.tensor(prefix + ".query.bias", {s}, constant(0));
        writer.tensor(prefix + ".key.weight", {s, s}, weights(limit));
        writer.tensor(prefix + ".value.weight", {s, s}, weights(limit));
        writer.tensor(prefix + ".value.bias", {s}, constant(0));
        writer.tensor(prefix + ".out.weight", {s, s}, weights(mute ? 0.0f : limit));
        writer.tensor(prefix + ".out.bias", {s}, constant(0));
    };
    auto perceptron = [&](const std::string& prefix, bool mute) {
        writer.tensor(prefix + "mlp_ln.weight", {s}, constant(1));
        writer.tensor(prefix + "mlp_ln.bias", {s}, constant(0));
        writer.tensor(prefix + "mlp.0.weight", {s, 4 * s}, weights(limit));
        writer.tensor(prefix + "mlp.0.bias", {4 * s}, constant(0));
        writer.tensor(prefix + "mlp.2.weight", {4 * s, s}, weights(mute ? 0.0f : limit));
        writer.tensor(prefix + "mlp.2.bias", {s}, constant(0));
    };
    for (int32_t block = 0; block < layout->encoderLayers; ++block) {
        const std::string prefix = "encoder.blocks." + std::to_string(block) + ".";
        attention(prefix + "attn", false);
        perceptron(prefix, false);
    }
    writer.tensor("encoder.ln_post.weight", {s}, constant(1));
    writer.tensor("encoder.ln_post.bias", {s}, constant(0));

    // Each scripted position p gets the spike (+P, −P) in dimensions 2p', 2p'+1 (p' = p − 2) and the token it
    // predicts the pair (+1, −1) there. The final layer norm turns the position's spike into a direction of
    // length √S, so that token scores about 1.4·√S and every other token about 0; the token fed back at the
    // next position is ten times weaker than that position's spike.
    const float spike = 10.0f;
    writer.tensor("decoder.positional_embedding", {s, textContext}, [&](int64_t index) {
        const int64_t step = index / s - firstScriptedPosition;
        const int64_t dimension = index % s;
        if (step >= 0 && step < static_cast<int64_t>(std::size(script)) && dimension / 2 == step)
            return dimension % 2 == 0 ? spike : -spike;
        return random.next(limit);
    });
    writer.tensor("decoder.token_embedding.weight", {s, vocabulary}, [&](int64_t index) {
        const int64_t token = index / s;
        const int64_t dimension = index % s;
        for (size_t step = 0; step < std::size(script); ++step) {
            if (token == script[step] && dimension / 2 == static_cast<int64_t>(step))
                return dimension % 2 == 0 ? 1.0f : -1.0f;
        }
        return random.next(limit);
    });
    for (int32_t block = 0; block < layout->decoderLayers; ++block) {
        const std::string prefix = "decoder.blocks." + std::to_string(block) + ".";
        attention(prefix + "attn", true);
        attention(prefix + "cross_attn", true);
        perceptron(prefix, true);
    }
    writer.tensor("decoder.ln.weight", {s}, constant(1));
    writer.tensor("decoder.ln.bias", {s}, constant(0));
    out.close();
    if (!out) {
        std::cerr << "cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
