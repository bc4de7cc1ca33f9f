#pragma once

#include "platform/atspi/PastedRange.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <optional>

class QDBusMessage;

// Follows the text field a text was just pasted into, through the accessibility bus (AT-SPI), until the user moves
// on — leaves the field, types a line break (or sends a chat message, which empties it), closes its window, pastes
// again — or a minute has passed, and tells what became of the pasted text. While following, the field's own
// reports of each change keep the pasted text up to date, so no call is made per keystroke. Only a field whose program
// reports to the bus (GTK 3 programs; Qt, LibreOffice, Firefox while accessibility is on), that is editable, and that
// is neither a password field nor a terminal; the text read stays in memory. While it is off nothing listens on the
// bus. Every call to a program is answered later, never waited for on the main thread. Main thread.
class TextFieldWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int followMs = 60000;
    // The program may show the pasted text a moment after the keystroke: it is looked for again this often.
    static constexpr int lookAgainMs = 200;
    static constexpr int looksForPasted = 10;

    static TextFieldWatch& shared();

    // Starts or stops listening for focus changes on the bus; the connection is made off the main thread.
    void setEnabled(bool enabled);
    // This text was pasted into the focused field: it is followed there (the one followed before is let go).
    void follow(const QString& pasted);

signals:
    // The user moved on, or the minute is over: what the pasted text became. Only when it changed.
    void edited(const QString& pasted, const QString& now);

private slots:
    void stateChanged(const QDBusMessage& message);
    void textChanged(const QDBusMessage& message);

private:
    struct Field
    {
        QString program;
        QString path;
        bool operator==(const Field&) const = default;
    };
    struct Followed
    {
        Field field;
        QString pasted;
        PastedRange range;
    };

    void connectToBus();
    // The field's role and states allow it to be read; then its text, where the pasted text is found.
    TextFieldWatch();
    void checkAndRead(const Field& field, const QString& pasted, quint64 follow);
    void findPasted(const Field& field, const QString& pasted, quint64 follow, int look);
    // The field's text is read once more, where it can be; otherwise what its reports made of it counts.
    void readAndLetGo();
    // Stops following; what was followed.
    Followed letGo();
    void tell(const Followed& followed, const QString& now);
    // Lets go and tells what the field's reports made of the pasted text.
    void letGoAsReported();
    bool isFollowed(const QDBusMessage& event) const;
    // The programs report every change of their text only while a field is followed or about to be.
    void askForChanges(std::function<void()> asked);
    void stopAskingForChanges();
    // The look for this paste's text came to nothing.
    void giveUp(quint64 follow);

    std::atomic<bool> enabled_ = false;
    bool connected_ = false;
    Field focused_;
    // Tells a look for the text pasted last from one for an earlier paste.
    quint64 follows_ = 0;
    std::optional<Followed> followed_;
    bool askingForChanges_ = false;
    QTimer timeout_;
};
