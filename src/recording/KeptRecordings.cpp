#include "recording/KeptRecordings.h"

#include "core/Log.h"
#include "recording/RecordingArchive.h"

Result<QString> KeptRecordings::keep(const QByteArray& wav)
{
    // Those waiting in memory go first, and this one waits behind them while they cannot be written.
    const Result<QString> earlier = writeWaiting();
    const Result<QString> written = earlier ? RecordingArchive::keep(wav) : earlier;
    if (!written)
        unwritten_.push_back(wav);
    return written;
}

int KeptRecordings::count() const
{
    return static_cast<int>(RecordingArchive::files().size() + static_cast<qsizetype>(unwritten_.size()));
}

std::optional<QByteArray> KeptRecordings::takeNewestUnwritten()
{
    if (unwritten_.empty())
        return std::nullopt;
    QByteArray wav = std::move(unwritten_.back());
    unwritten_.pop_back();
    return wav;
}

void KeptRecordings::keepAtQuit(std::vector<QByteArray> unfinished)
{
    for (QByteArray& wav : unfinished)
        unwritten_.push_back(std::move(wav));
    if (unwritten_.empty())
        return;
    const Result<QString> written = writeWaiting();
    if (written)
        return;
    Log::info(QStringLiteral("Не удалось сохранить записи при выходе (%1): %2 Они потеряны.")
                  .arg(QString::number(unwritten_.size()), written.error().description()));
    unwritten_.clear();
}

Result<QString> KeptRecordings::writeWaiting()
{
    Result<QString> written = QString();
    while (!unwritten_.empty()) {
        written = RecordingArchive::keep(unwritten_.front());
        if (!written)
            return written;
        unwritten_.erase(unwritten_.begin());
        Log::info(QStringLiteral("Нераспознанная запись сохранена: ") + written.value());
    }
    return written;
}
