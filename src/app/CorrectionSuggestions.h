#pragma once

#include "text/Corrections.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class DictationDisplay;

// The words the user fixed in a pasted text («Учиться на моих исправлениях»), offered as dictionary pairs: a note
// on the panel that learns the pair when tapped, and in the menu «Запомнить …» and «Не предлагать …». A pair in the
// dictionary already, or declined once, is not offered again; an ignored one stays in the menu until the app ends.
// Main thread.
class CorrectionSuggestions : public QObject
{
    Q_OBJECT

public:
    static constexpr double noteSeconds = 10;

    explicit CorrectionSuggestions(DictationDisplay& display, QObject* parent = nullptr);

    // What the pasted text became in its field.
    void textEdited(const QString& pasted, const QString& now);
    const std::vector<CorrectionPair>& pending() const { return pending_; }
    // Learns the pair as the learn hotkey does.
    void accept(const CorrectionPair& pair);
    void decline(const CorrectionPair& pair);

    // After a pair was learned: the recognizer takes the new spelling into its prompt.
    std::function<void()> onLearned;

private:
    bool alreadyDecided(const CorrectionPair& pair) const;
    void forget(const CorrectionPair& pair);

    DictationDisplay& display_;
    std::vector<CorrectionPair> pending_;
};
