#include "app/CorrectionSuggestions.h"

#include "core/Log.h"
#include "core/SettingsStore.h"
#include "dictation/DictationDisplay.h"
#include "text/WordFixes.h"

#include <algorithm>

namespace
{

QString entryOf(const CorrectionPair& pair)
{
    return pair.wrong + u'=' + pair.right;
}

} // namespace

CorrectionSuggestions::CorrectionSuggestions(DictationDisplay& display, QObject* parent)
    : QObject(parent), display_(display)
{}

void CorrectionSuggestions::textEdited(const QString& pasted, const QString& now)
{
    if (!SettingsStore::shared().boolForKey(SettingsKey::learnFromCorrections))
        return;
    for (const CorrectionPair& pair : WordFixes::between(pasted, now)) {
        if (alreadyDecided(pair) || std::find(pending_.begin(), pending_.end(), pair) != pending_.end())
            continue;
        pending_.push_back(pair);
        display_.showTappableBadge(QStringLiteral("Запомнить: %1 → %2?").arg(pair.wrong, pair.right),
                                   QStringLiteral("Нажмите — запомнить · отказаться — в меню"), noteSeconds,
                                   [this, pair] { accept(pair); });
    }
}

bool CorrectionSuggestions::alreadyDecided(const CorrectionPair& pair) const
{
    const std::vector<CorrectionPair> known = Corrections::load();
    const bool learned = std::any_of(known.begin(), known.end(), [&](const CorrectionPair& entry) {
        return entry.wrong == pair.wrong && entry.right == pair.right;
    });
    return learned ||
           SettingsStore::shared().stringArrayForKey(SettingsKey::declinedCorrections).contains(entryOf(pair));
}

void CorrectionSuggestions::accept(const CorrectionPair& pair)
{
    forget(pair);
    Corrections::add(pair.wrong, pair.right);
    Log::info(QStringLiteral("Запомнена пара из исправления: %1 → %2").arg(pair.wrong, pair.right));
    if (onLearned)
        onLearned();
}

void CorrectionSuggestions::decline(const CorrectionPair& pair)
{
    forget(pair);
    QStringList declined = SettingsStore::shared().stringArrayForKey(SettingsKey::declinedCorrections);
    declined << entryOf(pair);
    SettingsStore::shared().setStringArray(SettingsKey::declinedCorrections, declined);
}

void CorrectionSuggestions::forget(const CorrectionPair& pair)
{
    pending_.erase(std::remove(pending_.begin(), pending_.end(), pair), pending_.end());
}
