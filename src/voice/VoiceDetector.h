#pragma once

#include "voice/SileroLibrary.h"
#include "voice/VoiceStream.h"

#include <QString>

#include <mutex>
#include <optional>
#include <vector>

// The app's one voice detector: the Silero VAD model run by the bundle's sherpa-onnx library, loaded on first use
// (nothing is loaded while no sound is judged). Each stream of sound (a recording, a file cut into pieces) gets a
// VoiceStream; a detector given back by a finished stream serves the next one, so the model is loaded again only
// for streams judged at the same time. When the library or the model cannot be loaded, it says why once in the log
// and every stream judges by loudness instead. Any thread.
class VoiceDetector
{
public:
    static VoiceDetector& shared();

    VoiceStream stream();
    // Why streams judge by loudness instead of the model: nothing while the model serves them. Loads it first.
    std::optional<QString> problem();

private:
    friend class VoiceStream;

    // With lock_ held.
    void loadOnce();
    std::optional<SileroLibrary::LoadedDetector> takeDetector();
    void giveBack(SileroLibrary::LoadedDetector detector);

    std::mutex lock_;
    bool loaded_ = false;
    std::optional<SileroLibrary> library_;
    std::optional<QString> problem_;
    std::vector<SileroLibrary::LoadedDetector> idle_;
};
