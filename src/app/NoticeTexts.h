#pragma once

#include "core/AlertPresenter.h"
#include "dictation/HotkeyManager.h"

// What the app tells the user once: «О программе» and the first-run notice, both with the hotkeys this session
// offers.
namespace NoticeTexts
{
Alert about(const HotkeyManager::Offer& offer);
// With the model's download when the active model is not on disk yet; `tray` whether the desktop shows one.
Alert firstRun(const HotkeyManager::Offer& offer, bool tray);
} // namespace NoticeTexts
