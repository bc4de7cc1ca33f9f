#pragma once

#include "dictation/HotkeyManager.h"
#include "platform/MicrophoneCapture.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The window «Разрешения»: whether the microphone chosen in the settings ("inputDevice", the default one
// when none is) delivers sound, whether the global keys and pasting can work, and the desktop's sound
// settings one click away. The microphone is opened for a moment without holding up the interface. Main
// thread only.
class PermissionsReport : public QObject
{
    Q_OBJECT

public:
    // The capture gives up by itself within a second; this only keeps the check alive until then.
    static constexpr int microphoneTimeoutMs = 3000;

    // Checks, then shows the report; a second call while a check runs does nothing.
    void show(const HotkeyManager::Offer& offer);
    // The report's line on the global keys and pasting.
    static QString hotkeysLine(const HotkeyManager::Offer& offer);

    std::function<std::unique_ptr<MicrophoneCapture>()> makeCapture = MicrophoneCapture::createDefault;

private:
    void checkMicrophone(std::function<void(const QString& line)> answer);
    void present(const QString& microphoneLine, const HotkeyManager::Offer& offer);

    bool checking_ = false;
};
