#pragma once

#include "dictation/Dictation.h"

#include <QString>

#include <map>
#include <vector>

// The dictations not done or kept yet, in the order they began, each under an identifier that is never reused.
// Main thread.
class DictationList
{
public:
    using Entries = std::map<quint64, Dictation>;

    // A new dictation, after every other; answers its identifier.
    quint64 add();
    Dictation& at(quint64 id) { return entries_.at(id); }
    const Dictation& at(quint64 id) const { return entries_.at(id); }
    Entries::iterator find(quint64 id) { return entries_.find(id); }
    void erase(quint64 id) { entries_.erase(id); }
    void clear() { entries_.clear(); }
    Entries::iterator begin() { return entries_.begin(); }
    Entries::iterator end() { return entries_.end(); }
    Entries::const_iterator begin() const { return entries_.begin(); }
    Entries::const_iterator end() const { return entries_.end(); }

    // The dictations in this state, oldest first.
    std::vector<quint64> idsIn(Dictation::State state) const;
    // The dictation being recorded, or 0.
    quint64 recordingId() const;
    Dictation* recording();
    // The newest file of the recordings folder not already on its way, or empty.
    QString nextKeptFile() const;

private:
    Entries entries_;
    quint64 last_ = 0;
};
