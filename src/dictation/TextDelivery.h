#pragma once

#include "dictation/PhraseReview.h"
#include "dictation/TextInserter.h"
#include "platform/ActiveWindow.h"
#include "quality/SpeechIssue.h"
#include "text/TextProfile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

class DictationDisplay;

// Brings a finished text to the user: applies the speech-quality mode ("speechQuality"), puts the text at the
// head of the history and pastes it into the window it was dictated for. One text at a time, in order.
// While a recording runs, the focus and the panel belong to it: nothing is brought to the front, no review
// window opens, and a text whose window is not in front waits until the recording ends. A text is pasted only
// when its window is in front; otherwise (window gone, activation refused, no window known) it stays on the
// clipboard and the panel says so. Main thread only.
class TextDelivery : public QObject
{
    Q_OBJECT

public:
    static constexpr int badgeSeconds = 6;
    static constexpr int retryDelayMs = 400;
    // How long a window may take to come to the front before the text goes to the clipboard instead.
    static constexpr int activationTimeoutMs = 450;
    static constexpr int activationPollMs = 25;
    static constexpr int reviewPauseMs = 300;

    explicit TextDelivery(DictationDisplay& display, QObject* parent = nullptr);

    // The window a text dictated now is meant for: the active one, unless it is one of ours (then none).
    static ActiveWindow::WindowId currentTarget();

    // A profile without the quality mode (code, a terminal, no processing) gets the text as dictated.
    void deliver(const QString& text, ActiveWindow::WindowId target, TextProfile profile = TextProfile::document);
    void recordingStarted();
    // What waited for the recording goes out, in order.
    void recordingEnded();
    // At quit: every text not delivered yet (waiting for its window, the advisor or a review decision) goes
    // to the history.
    void keepUndelivered();

signals:
    // The review's «Повторить фразу»: the owner starts a recording, or ends the one under way.
    void retryRequested();
    // The paste keystroke for this text went into its window.
    void pasted(const QString& text);

private:
    // A text on its way into a window; `then` updates the panel once it was pasted.
    struct Insertion
    {
        QString text;
        ActiveWindow::WindowId target = 0;
        std::function<void()> then;
        // Already at the head of the history (a text put back to wait for the recording's end).
        bool inHistory = false;
        // Holds the place of a phrase in the review window until the user decides: later texts for the same
        // window wait behind it. Zero for a text.
        quint64 review = 0;
    };

    void deliverAutoclean(const QString& text, ActiveWindow::WindowId target);
    void deliverAutopilot(const QString& text, ActiveWindow::WindowId target);
    void deliverHighlight(const QString& text, ActiveWindow::WindowId target);
    // A phrase for the review window, which shows one at a time.
    struct Review
    {
        QString text;
        QList<SpeechIssue> issues;
        std::optional<int> previousScore;
        PhraseReview::Mode mode = PhraseReview::Mode::decide;
        ActiveWindow::WindowId target = 0;
        // The place it holds among the insertions, for a phrase to decide on.
        quint64 placeholder = 0;
    };

    void openReview(Review review);
    void showNextReview();
    void handleReviewDecision(const PhraseReview::Decision& decision, const Review& review);
    // The decided phrase takes its place among the insertions, or gives it up (`text` empty).
    void fillPlaceholder(quint64 placeholder, const QString& text);
    // The first insertion that may go out: not a placeholder, nor behind one for the same window.
    std::deque<Insertion>::iterator nextInsertion();
    void insert(const QString& text, ActiveWindow::WindowId target, std::function<void()> then);
    void pump();
    void place(const Insertion& insertion);
    void awaitFront(const Insertion& insertion, int attempt);
    void paste(const Insertion& insertion);
    void pasteEnded(Insertion insertion, TextInserter::Outcome outcome);
    void toClipboard(const QString& text);
    void flash(const QString& text);
    void hidePanel();

    DictationDisplay& display_;
    bool recording_ = false;
    // An insertion is waiting for its window to come to the front, or for its keystroke.
    bool busy_ = false;
    std::deque<Insertion> insertions_;
    // Dictated texts the advisor is rewriting.
    QStringList advising_;
    // The phrase in the review window, and those waiting for it.
    std::optional<Review> underReview_;
    std::deque<Review> reviews_;
    // Tells the decision on the phrase under review from that on an earlier one.
    quint64 reviewSerial_ = 0;
    quint64 lastPlaceholder_ = 0;
};
