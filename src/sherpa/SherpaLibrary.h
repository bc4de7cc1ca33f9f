#pragma once

#include "OfflineOptions.h"

#include <QLibrary>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The sherpa-onnx C API library of one release (pinned: its configuration records change between releases),
// loaded at run time from beside the program, and one recognition with it.
class SherpaLibrary
{
public:
    static inline const QString fileName = QStringLiteral("libsherpa-onnx-c-api.so");
    static inline const QString expectedVersion = QStringLiteral("1.13.8");

    struct Timing
    {
        double loadSeconds = 0;
        double recognitionSeconds = 0;
    };

    struct Recognizer;
    using DestroyRecognizerFunction = void (*)(const Recognizer*);
    // A loaded model, ready to recognize any number of recordings one after another.
    using LoadedModel = std::unique_ptr<const Recognizer, DestroyRecognizerFunction>;

    // Loads the library and checks its release; nothing when that fails (the reason in `problem`).
    static std::optional<SherpaLibrary> open(const QString& path, QString& problem);

    // The model the options name, or nothing (the reason in `problem`).
    std::optional<LoadedModel> load(const OfflineOptions& options, QString& problem) const;
    // The recognition result of a WAV file as the library's JSON line, or nothing (the reason in `problem`).
    std::optional<QByteArray> recognize(const Recognizer* model, const QString& wavPath, QString& problem) const;
    // Loads the model and recognizes the options' WAV with it.
    std::optional<QByteArray> recognize(const OfflineOptions& options, Timing& timing, QString& problem) const;

private:
    struct Stream;

    // The leading part of the library's recognizer configuration, up to the last field this program sets;
    // the library reads every field after it as zero, which it takes as "use the default".
    struct Configuration
    {
        int32_t sampleRate = 0;
        int32_t featureDimension = 0;
        const char* encoder = nullptr;
        const char* decoder = nullptr;
        const char* joiner = nullptr;
        // The files of other model kinds that come first: two single-file models, then one with four strings
        // and three integers, then another single-file model.
        const char* singleFileModels[2] = {};
        const char* sequenceModelStrings[4] = {};
        int32_t sequenceModelNumbers[3] = {};
        const char* lastSingleFileModel = nullptr;
        const char* tokens = nullptr;
        int32_t threads = 0;
        int32_t debug = 0;
        const char* provider = nullptr;
        const char* modelType = nullptr;
        // Room for the release's whole record, well beyond its real size.
        unsigned char rest[8192] = {};
    };
    static_assert(offsetof(Configuration, tokens) == 104 && offsetof(Configuration, modelType) == 128,
                  "the places of these fields in the library's record");

    using VersionFunction = const char* (*)();
    using CreateRecognizerFunction = const Recognizer* (*)(const Configuration*);
    using CreateStreamFunction = const Stream* (*)(const Recognizer*);
    using DestroyStreamFunction = void (*)(const Stream*);
    using AcceptWaveformFunction = void (*)(const Stream*, int32_t, const float*, int32_t);
    using DecodeFunction = void (*)(const Recognizer*, const Stream*);
    using ResultJsonFunction = const char* (*)(const Stream*);
    using FreeResultJsonFunction = void (*)(const char*);

    struct Functions
    {
        CreateRecognizerFunction createRecognizer = nullptr;
        DestroyRecognizerFunction destroyRecognizer = nullptr;
        CreateStreamFunction createStream = nullptr;
        DestroyStreamFunction destroyStream = nullptr;
        AcceptWaveformFunction acceptWaveform = nullptr;
        DecodeFunction decode = nullptr;
        ResultJsonFunction resultJson = nullptr;
        FreeResultJsonFunction freeResultJson = nullptr;
    };

    SherpaLibrary(std::unique_ptr<QLibrary> library, Functions functions)
        : library_(std::move(library)), functions_(functions)
    {}

    std::unique_ptr<QLibrary> library_;
    Functions functions_;
};
