#include "dictation/DictationList.h"

#include "recording/RecordingArchive.h"

#include <algorithm>

quint64 DictationList::add()
{
    entries_[++last_];
    return last_;
}

std::vector<quint64> DictationList::idsIn(Dictation::State state) const
{
    std::vector<quint64> ids;
    for (const auto& [id, dictation] : entries_) {
        if (dictation.state == state)
            ids.push_back(id);
    }
    return ids;
}

quint64 DictationList::recordingId() const
{
    const std::vector<quint64> ids = idsIn(Dictation::State::recording);
    return ids.empty() ? 0 : ids.front();
}

Dictation* DictationList::recording()
{
    const quint64 id = recordingId();
    return id ? &entries_.at(id) : nullptr;
}

QString DictationList::nextKeptFile() const
{
    const auto underWay = [this](const QString& path) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const auto& entry) { return entry.second.keptFile == path; });
    };
    const QStringList kept = RecordingArchive::files();
    const auto next = std::find_if_not(kept.begin(), kept.end(), underWay);
    return next == kept.end() ? QString() : *next;
}
