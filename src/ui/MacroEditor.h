#pragma once

#include "core/DelayedCall.h"
#include "text/MacroStore.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

class QListWidget;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The window «Макросы»: the list of triggers on the left, the selected macro's trigger phrase and text on
// the right. Every change goes to macros.json without a save button: adding, renaming and removing at
// once, typing 0.6 s after the last keystroke (also when the window was closed in between). Edits another
// program made to the file meanwhile are kept. One shared
// instance; the window is built on first opening and only hidden when closed. Main thread only.
class MacroEditor : public QObject
{
    Q_OBJECT

public:
    static constexpr int saveDelayMs = 600;

    static MacroEditor& shared();
    explicit MacroEditor(QObject* parent = nullptr);
    ~MacroEditor() override;

    // Builds the window if needed, reloads the list and brings the window to the front.
    void open();
    // Reads the file again. Selects the first macro whose trigger is exactly `selectTrigger` when there is
    // one, otherwise the row selected before (or the last row, when the list got shorter).
    void reload(const std::optional<QString>& selectTrigger = std::nullopt);
    // The window, once opened; for inspection.
    QWidget* window() const;

    // Opens a file with the desktop's default application; tests replace it.
    std::function<bool(const QUrl&)> openUrl;

private:
    void ensureWindow();
    void select(int row);
    bool hasSelection() const;
    void addMacro();
    void removeMacro();
    void renameSelected();
    void textEdited();
    void openFile();
    // Cancels a pending delayed save and writes the typed text now.
    void saveNow();
    // Makes the change to the list and writes it. When another program changed the file since this window
    // read it, the change goes into the file's new content instead, and the user is told.
    void commit(const std::function<void(std::vector<MacroPair>&)>& change);
    QString freeTrigger() const;

    QPointer<QWidget> window_;
    QListWidget* list_ = nullptr;
    QLineEdit* triggerField_ = nullptr;
    QPlainTextEdit* textView_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    std::vector<MacroPair> items_;
    int selected_ = -1;
    // The file as this window last read or wrote it.
    QByteArray known_;
    // The macro whose text was typed and is not saved yet.
    std::optional<MacroPair> pendingText_;
    DelayedCall saveWork_;
};
