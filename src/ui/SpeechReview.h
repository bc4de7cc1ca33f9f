#pragma once

#include "platform/ActiveWindow.h"
#include "quality/AdvisorEngine.h"
#include "quality/SpeechIssue.h"
#include "ui/SpeechReviewWindow.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

// The review «Грамотная речь» of a dictated phrase: shows it with its score, findings and the style advisor's
// variant, and turns the user's choice into a decision for the caller, bringing the window that was dictated into
// back to the front before an insertion. One shared instance, its window built on first use; closing the window
// only hides it. Main thread only.
class SpeechReview : public QObject
{
    Q_OBJECT

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

    // How long an insertion waits after the previous window was brought back to the front.
    static constexpr int activationDelayMs = 450;

    static SpeechReview& shared();
    explicit SpeechReview(QObject* parent = nullptr);
    ~SpeechReview() override;

    // Shows the phrase and returns at once. A caller still waiting gets `close` (inspect) or `cancel`
    // (decide) first. Every show ends with exactly one call of its completion.
    void show(const QString& text, const QList<SpeechIssue>& issues, ActiveWindow::WindowId target,
              std::optional<int> previousScore, Mode mode, DecisionHandler completion);

    // The score of the phrase the user chose to dictate again; the caller reads and clears it.
    std::optional<int> retryScore;

    // The window, once shown; for inspection.
    QWidget* window() const;
    Mode mode() const { return mode_; }

private:
    void present(const QString& text, const QList<SpeechIssue>& issues, ActiveWindow::WindowId target,
                 std::optional<int> previousScore, Mode mode, DecisionHandler completion);
    void ensureWindow();
    void choose(SpeechReviewWindow::Choice choice);
    void refreshAdvisor(const QString& text);
    void adviceArrived(const QString& askedAbout, const Result<AdvisorEngine::Advice>& result);
    void offerSuggestion(const QString& suggestion, const QString& buttonTitle);
    void finish(const Decision& decision);
    // `close` in inspect mode, `cancel` in decide mode.
    Decision dismissal() const;
    void dismissWaitingCaller();
    QString cleanedText() const;

    QPointer<SpeechReviewWindow> window_;

    Mode mode_ = Mode::decide;
    QString text_;
    QList<SpeechIssue> issues_;
    // The window the phrase was dictated into, brought back before an insertion; 0 for none.
    ActiveWindow::WindowId targetWindow_ = 0;
    DecisionHandler completion_;
    std::optional<QString> suggestion_;
};
