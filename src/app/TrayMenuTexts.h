#pragma once

#include "engines/WhisperServer.h"

#include <QString>
#include <QStringList>

#include <optional>

// The texts of the tray menu, from the facts of the moment.
namespace TrayMenuTexts
{
constexpr int historyTitleLength = 60;
// The line under the first one while the voice detector's model could not be loaded (the log says why).
inline const QString noVoiceDetector = QStringLiteral("Детектор речи не загрузился: паузы и тишина — по громкости");

// Why the global hotkeys do not work, when they do not.
enum class HotkeyTrouble
{
    none,
    noDisplay,
    waylandOnly,
    // The display lacks XTEST or XInput 2.2.
    noExtensions,
    // The toggle combination belongs to another program.
    comboTaken,
};

struct Facts
{
    // The active model's download, 0…1, while it runs.
    std::optional<double> downloadFraction;
    bool modelPresent = true;
    bool recording = false;
    bool transcribing = false;
    HotkeyTrouble hotkeys = HotkeyTrouble::none;
    // The toggle combination's title, for comboTaken.
    QString toggleTitle;
    bool gigaam = false;
    WhisperServer::State server;
    QString modelTitle;
    QString language;
};

// The first line of the menu: the first rule that applies.
QString statusLine(const Facts& facts);
// Whether the first line starts the active model's download: it is missing and no download runs.
bool offersDownload(const Facts& facts);
// A history entry as a menu title: whole up to 60 UTF-16 units, else its first 60 (59 rather than half a
// surrogate pair) and "…"; an & stays an &.
QString historyTitle(const QString& entry);
} // namespace TrayMenuTexts
