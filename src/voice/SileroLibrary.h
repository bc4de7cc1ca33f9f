#pragma once

#include <QLibrary>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// The voice activity detection of the sherpa-onnx C API library the bundle carries for its recognizer (one pinned
// release: its configuration records change between releases), loaded into the app at run time, and detectors running
// the Silero VAD model with it. Each detector holds its own copy of the model and the state of one stream of sound.
class SileroLibrary
{
public:
    static inline const QString fileName = QStringLiteral("libsherpa-onnx-c-api.so");
    static inline const QString expectedVersion = QStringLiteral("1.13.8");
    static constexpr int sampleRate = 16000;

    struct Detector;
    using DestroyFunction = void (*)(const Detector*);
    using LoadedDetector = std::unique_ptr<const Detector, DestroyFunction>;

    // Loads the library and checks its release; nothing when that fails (the reason in `problem`).
    static std::optional<SileroLibrary> open(const QString& path, QString& problem);

    // A detector running the model in `modelPath`, or nothing (the reason in `problem`).
    std::optional<LoadedDetector> create(const QString& modelPath, QString& problem) const;
    // Feeds samples on the −1…1 scale; answers whether the detector is within speech after them.
    bool accept(const Detector* detector, std::span<const float> samples) const;
    // Forgets the stream heard so far.
    void reset(const Detector* detector) const;

private:
    struct ModelConfiguration
    {
        const char* model = nullptr;
        float threshold = 0;
        float minimumSilenceSeconds = 0;
        float minimumSpeechSeconds = 0;
        int32_t windowSize = 0;
        float maximumSpeechSeconds = 0;
    };
    // The leading part of the library's detector configuration, up to the last field this program sets; the library
    // reads every field after it as zero, which it takes as "use the default".
    struct Configuration
    {
        ModelConfiguration silero;
        int32_t sampleRate = 0;
        int32_t threads = 0;
        const char* provider = nullptr;
        int32_t debug = 0;
        // Room for the release's whole record, well beyond its real size.
        unsigned char rest[1024] = {};
    };
    static_assert(offsetof(Configuration, sampleRate) == 32 && offsetof(Configuration, provider) == 40,
                  "the places of these fields in the library's record");

    using VersionFunction = const char* (*)();
    using CreateFunction = const Detector* (*)(const Configuration*, float);
    using AcceptFunction = void (*)(const Detector*, const float*, int32_t);
    using QueryFunction = int32_t (*)(const Detector*);
    using ActionFunction = void (*)(const Detector*);

    struct Functions
    {
        CreateFunction create = nullptr;
        DestroyFunction destroy = nullptr;
        AcceptFunction accept = nullptr;
        QueryFunction detected = nullptr;
        QueryFunction empty = nullptr;
        ActionFunction clear = nullptr;
        ActionFunction reset = nullptr;
    };

    SileroLibrary(std::unique_ptr<QLibrary> library, Functions functions)
        : library_(std::move(library)), functions_(functions)
    {}

    std::unique_ptr<QLibrary> library_;
    Functions functions_;
};
