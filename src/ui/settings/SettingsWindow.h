#pragma once

#include "platform/AudioSources.h"
#include "ui/settings/SettingsBindings.h"

#include <QLatin1String>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <vector>

class AppProfilesTab;
class DictionaryTab;
class ModelsTab;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QWidget;
class SpeechQualityTab;

// The window «Настройки Толвана»: seven tabs of settings, models, the style advisor and the dictionary.
// Every control writes its setting at once; there is no OK button. One shared instance; the window is
// built on first show and only hidden when closed. Main thread only.
class SettingsWindow : public QObject
{
    Q_OBJECT

public:
    static SettingsWindow& shared();
    explicit SettingsWindow(QObject* parent = nullptr);
    ~SettingsWindow() override;

    // Builds the window if needed, asks the sound server for its microphones, fills every control and
    // brings the window to the front.
    void showWindow();
    // Reads every setting and state into the controls again; nothing while the window is not shown.
    void refresh();
    // The window, once shown; for inspection.
    QWidget* window() const;
    // The application's menu, offered at the top of the window while the desktop has no tray to show it in;
    // null while it has one.
    void offerAppMenu(QMenu* menu);

    // Restarts the recognizer after the language, the model or the dictionary changed.
    std::function<void()> restartEngine;
    // The toggle preset or push-to-talk changed: the hotkey grabs must follow.
    std::function<void()> onHotkeysChanged;
    // Whether the keyboard layout makes the right Alt key AltGr; asked each time the window is refreshed.
    std::function<bool()> rightAltIsAltGr = [] { return false; };
    // The sound server's microphones, asked each time the window opens.
    std::function<std::vector<AudioSource>()> listAudioSources = [] { return AudioSources::list(); };

    // The model tab, for the hooks it has of its own.
    ModelsTab* modelsTab() const { return modelsTab_; }

private:
    void ensureWindow();
    void destroyWindow();
    QWidget* buildAppMenuRow();
    QWidget* buildGeneralTab();
    QWidget* buildKeysTab();
    QWidget* buildPasteTab();
    void fillMicrophones();
    void microphoneChosen(int index);
    void loginToggled(bool on);
    void callRestartEngine();
    void callHotkeysChanged();

    QPointer<QWidget> window_;
    QTabWidget* tabs_ = nullptr;
    QPointer<QMenu> appMenu_;
    QWidget* appMenuRow_ = nullptr;
    QPushButton* appMenuButton_ = nullptr;
    QComboBox* micPopup_ = nullptr;
    QCheckBox* loginCheck_ = nullptr;
    QLabel* altGrNote_ = nullptr;
    ModelsTab* modelsTab_ = nullptr;
    SpeechQualityTab* speechQualityTab_ = nullptr;
    DictionaryTab* dictionaryTab_ = nullptr;
    AppProfilesTab* appProfilesTab_ = nullptr;
    SettingsBindings bindings_;
    std::vector<AudioSource> audioSources_;
};
