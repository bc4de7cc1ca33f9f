#pragma once

#include "platform/ActiveWindow.h"
#include "text/Corrections.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// «Выучить слово из выделенного»: takes the word selected in the window the user works in, asks for its
// correct form, learns the pair and puts the correct form in place of the selection. The selection is the
// PRIMARY one when the focused window owns it, otherwise a copy keystroke fetches it; the user's clipboard
// holds what it held before once the copy has been read. A native Wayland window never gets the copy keystroke:
// it may be a terminal not known as one, where Ctrl+C would end the running command; its primary selection is
// taken, or the dialog starts empty. Main thread only.
class LearnWordFlow : public QObject
{
    Q_OBJECT

public:
    // How long the copy has, from the moment its keystroke is out, to reach the clipboard.
    static constexpr int copyWaitMs = 300;
    static constexpr int pasteAfterLearnMs = 400;
    // A longer selection is no word: the dialog then starts empty.
    static constexpr int longestLearnedWord = 60;

    LearnWordFlow();

    void start();

    // The outside world, replaced in tests.
    std::function<ActiveWindow::WindowId()> activeWindow = ActiveWindow::current;
    std::function<bool()> primaryIsFocusedWindows;
    // The selection of the focused native Wayland window (empty when none is known); nothing while an X11 window
    // has the focus.
    std::function<std::optional<QString>()> nativeSelection;
    // Posts the copy keystroke to the focused window; `posted` follows on the main thread once it is out.
    std::function<void(std::function<void()> posted)> postCopy;
    // The dialog: the pair the user entered for the heard word, or nothing when cancelled.
    std::function<std::optional<CorrectionPair>(const QString& heard)> ask;
    // Puts the text in place of the selection in that window.
    std::function<void(ActiveWindow::WindowId window, const QString& text)> replaceSelection;
    // After a pair was learned: the recognizer takes the new spelling into its prompt.
    std::function<void()> onLearned;

private:
    void copyThenAsk(ActiveWindow::WindowId window);
    void readCopy(const QString& previous, quint64 changesBefore, ActiveWindow::WindowId window);
    void askAndLearn(const QString& heard, ActiveWindow::WindowId window);

    // Bumped whenever the clipboard changes: tells that the copy arrived.
    quint64 clipboardChanges_ = 0;
};
