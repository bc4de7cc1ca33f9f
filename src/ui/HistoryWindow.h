#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <optional>

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QWidget;
struct Alert;

// The window «История»: the last dictations, newest first, one line each, and the chosen one whole in an editor
// below it, where a misrecognized word is fixed and saved into the history («Сохранить исправление») or the text
// copied. A saved fix is told through entryEdited, as a fix made in the pasted field itself is told by the field's
// watch: that is how programs that keep their text from the accessibility bus teach the dictionary too.
// The history is read again each time the window is shown or comes to the front; a fix not yet saved stays in the
// editor through that, and through choosing another entry unless the user declines it. One shared instance; the
// window is built on first show and only hidden when closed. Main thread only.
class HistoryWindow : public QObject
{
    Q_OBJECT

public:
    static HistoryWindow& shared();
    explicit HistoryWindow(QObject* parent = nullptr);
    ~HistoryWindow() override;

    // Builds the window if needed, reads the history again, chooses the newest entry (unless a fix is being typed)
    // and brings the window to the front.
    void showWindow();
    // The window, once shown; for inspection.
    QWidget* window() const;

signals:
    // A fixed entry was saved: its text before and after.
    void entryEdited(const QString& before, const QString& after);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ensureWindow();
    // Reads the history again, but not while an alert is up; the chosen entry stays chosen where it went, or the
    // newest is chosen.
    void reload(bool newest);
    void choose(int row);
    void rowClicked(int row);
    // Shows the entry the list has chosen, or puts the list back on the entry whose fix the user keeps.
    void settleChoice();
    // Asks what becomes of the fix being typed before another entry is shown; false: it stays.
    bool settleFix();
    // Writes the fix into the history and tells it; false when there is none or it left the text empty.
    bool save();
    QString typed() const;
    bool edited() const;
    void updateButtons();
    int ask(const Alert& alert);

    QPointer<QWidget> window_;
    QListWidget* list_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    // The history as the list shows it, and the row of the chosen entry there (-1: none, or gone from the history
    // while its fix was being typed).
    QStringList entries_;
    int row_ = -1;
    // The chosen entry's text, and the same as the editor reads it back (line breaks as "\n").
    std::optional<QString> original_;
    QString shown_;
    // While an alert is up: the history is not read again under the question (the window is activated anew when
    // the alert closes).
    bool asking_ = false;
};
