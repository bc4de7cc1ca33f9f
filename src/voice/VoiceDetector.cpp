#include "voice/VoiceDetector.h"

#include "core/Log.h"
#include "core/Resources.h"

#include <QThreadPool>

VoiceDetector& VoiceDetector::shared()
{
    // Never destroyed: at exit onnxruntime's own statics may be gone before ours, and a detector destroyed then would
    // reach into them.
    static auto* const detector = new VoiceDetector;
    return *detector;
}

VoiceStream VoiceDetector::stream()
{
    std::lock_guard guard(lock_);
    loadOnce();
    return VoiceStream(*this, library_ ? &*library_ : nullptr, takeDetector());
}

void VoiceDetector::warmUp()
{
    QThreadPool::globalInstance()->start([this] {
        std::lock_guard guard(lock_);
        loadOnce();
    });
}

std::optional<QString> VoiceDetector::problem() const
{
    return loaded_.load(std::memory_order_acquire) ? problem_ : std::nullopt;
}

void VoiceDetector::loadOnce()
{
    if (loaded_)
        return;
    QString problem;
    library_ = SileroLibrary::open(Resources::sherpaLibrary(), problem);
    if (library_) {
        if (std::optional<SileroLibrary::LoadedDetector> detector = library_->create(Resources::voiceModel(), problem))
            idle_.push_back(std::move(*detector));
    }
    if (idle_.empty()) {
        library_.reset();
        problem_ = problem;
        Log::info(
            QStringLiteral("Детектор речи недоступен (%1) — паузы и тишина определяются по громкости").arg(problem));
    }
    loaded_.store(true, std::memory_order_release);
}

std::optional<SileroLibrary::LoadedDetector> VoiceDetector::takeDetector()
{
    if (!library_)
        return std::nullopt;
    if (!idle_.empty()) {
        SileroLibrary::LoadedDetector detector = std::move(idle_.back());
        idle_.pop_back();
        return detector;
    }
    QString problem;
    std::optional<SileroLibrary::LoadedDetector> detector = library_->create(Resources::voiceModel(), problem);
    if (!detector)
        Log::info(
            QStringLiteral("Второй детектор речи не загрузился (%1) — этот звук судится по громкости").arg(problem));
    return detector;
}

void VoiceDetector::giveBack(SileroLibrary::LoadedDetector detector)
{
    std::lock_guard guard(lock_);
    idle_.push_back(std::move(detector));
}
