#pragma once

#include "text/MacroStore.h"

#include <QString>

#include <vector>

// The three help texts of the settings window.
namespace HelpTexts
{
// "Какую модель выбрать?": the models compared for an ordinary laptop.
QString modelChoice();
// "Голосовые команды форматирования": every spoken command, the user's macros and the placeholders, with
// the placeholders' values at the moment given.
QString voiceCommands(const std::vector<MacroPair>& macros, const QDateTime& now);
// "Что ищет «Грамотная речь»": the rule groups and the score.
QString speechRules();
} // namespace HelpTexts
