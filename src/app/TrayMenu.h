#pragma once

#include "app/TrayMenuTexts.h"

#include <QMenu>
#include <QObject>

#include <functional>

class CorrectionSuggestions;
class DictationController;
class HotkeyManager;
class LearnWordFlow;
class TranscribeFileFlow;

// The tray's menu, built afresh each time it opens from the state of the dictations, the hotkeys, the model, the
// file being recognized and the updater: what it says and offers. Main thread.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    // What the menu asks of the application.
    struct Actions
    {
        std::function<void()> toggleDictation;
        std::function<void()> openSettings;
        std::function<void()> showPermissions;
        std::function<void()> showAbout;
    };

    TrayMenu(DictationController& dictations, HotkeyManager& hotkeys, TranscribeFileFlow& transcribeFile,
             LearnWordFlow& learnWord, CorrectionSuggestions& suggestions, Actions actions);

    QMenu& menu() { return menu_; }
    void refresh();

private:
    TrayMenuTexts::Facts facts() const;
    void addHistory();
    // «Запомнить: толвон → Толван» and «Не предлагать: …» for each pair offered from the user's fixes.
    void addSuggestions();
    void addUpdateItem();

    DictationController& dictations_;
    HotkeyManager& hotkeys_;
    TranscribeFileFlow& transcribeFile_;
    LearnWordFlow& learnWord_;
    CorrectionSuggestions& suggestions_;
    Actions actions_;
    QMenu menu_;
    // Kept and refilled: a submenu made by addMenu() would outlive every clear() of the menu.
    QMenu historyMenu_;
};
