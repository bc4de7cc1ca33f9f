#pragma once

#include "voice/SileroLibrary.h"
#include "voice/VoiceStream.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

// The app's one voice detector: the Silero VAD model run by the bundle's sherpa-onnx library, loaded once (in the
// background at the app's start, or by the first stream). Each stream of sound (a recording, a file cut into pieces)
// gets a VoiceStream; a detector given back by a finished stream serves the next one, so the model is loaded again only
// for streams judged at the same time. When the library or the model cannot be loaded, it says why once in the log
// and every stream judges by loudness instead. Any thread.
class VoiceDetector
{
public:
    static VoiceDetector& shared();

    VoiceStream stream();
    // Loads the model on a worker thread, so that neither the first recording nor the tray menu waits for it.
    void warmUp();
    // Why streams judge by loudness instead of the model: nothing while the model serves them, or before it has
    // been loaded. Never waits.
    std::optional<QString> problem() const;

private:
    friend class VoiceStream;

    // With lock_ held.
    void loadOnce();
    std::optional<SileroLibrary::LoadedDetector> takeDetector();
    void giveBack(SileroLibrary::LoadedDetector detector);

    std::mutex lock_;
    // Set once the library and the model were tried; problem_ is not written after.
    std::atomic<bool> loaded_ = false;
    std::optional<SileroLibrary> library_;
    std::optional<QString> problem_;
    std::vector<SileroLibrary::LoadedDetector> idle_;
};
