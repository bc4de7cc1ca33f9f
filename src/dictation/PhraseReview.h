#pragma once

#include "platform/ActiveWindow.h"
#include "quality/SpeechIssue.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Where the user looks over a dictated phrase with its findings and decides what becomes of it (the review
// «Грамотная речь» in ui/). The app installs its window at start; without one a phrase to decide on is inserted
// as dictated and the others are closed, so that nothing dictated waits for a window that will not come.
class PhraseReview
{
public:
    enum class Mode
    {
        // Nothing was inserted yet; the caller waits for the decision.
        decide,
        // The phrase was already handled; texts can only be copied.
        inspect,
    };

    struct Decision
    {
        enum Kind
        {
            insert,
            copyClean,
            cancel,
            retry,
            close,
        };
        Kind kind = cancel;
        // For insert and copyClean.
        QString text;
        bool operator==(const Decision&) const = default;
    };
    using DecisionHandler = std::function<void(const Decision&)>;

    virtual ~PhraseReview() = default;

    // Shows the phrase and returns at once. A caller still waiting gets `close` (inspect) or `cancel` (decide)
    // first. Every show ends with exactly one call of its completion.
    virtual void show(const QString& text, const QList<SpeechIssue>& issues, ActiveWindow::WindowId target,
                      std::optional<int> previousScore, Mode mode, DecisionHandler completion) = 0;
    // Closes the review, if it is open.
    virtual void close() = 0;
    // The score of the phrase the user chose to dictate again, once: later calls answer nothing.
    virtual std::optional<int> takeRetryScore() = 0;

    static PhraseReview& shared();
    // Not owned; nullptr restores the default.
    static void setShared(PhraseReview* review);
};
