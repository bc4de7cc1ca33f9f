#include "dictation/DictationDisplay.h"

#include <utility>

void DictationDisplay::showTappableBadge(const QString& title, const QString& hint, double durationSeconds,
                                         std::function<void()> onTap)
{
    badgeTap_ = std::move(onTap);
    emit badgeShown(title, hint, durationSeconds);
}

void DictationDisplay::tapBadge()
{
    if (auto tap = std::exchange(badgeTap_, nullptr))
        tap();
}
