#pragma once

#include "dictation/PhraseReview.h"
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
class SpeechReview : public QObject, public PhraseReview
{
    Q_OBJECT

public:
    // How long an insertion waits after the previous window was brought back to the front.
    static constexpr int activationDelayMs = 450;

    static SpeechReview& shared();
    explicit SpeechReview(QObject* parent = nullptr);
    ~SpeechReview() override;

    void show(const QString& text, const QList<SpeechIssue>& issues, ActiveWindow::WindowId target,
              std::optional<int> previousScore, Mode mode, DecisionHandler completion) override;
    void close() override;
    std::optional<int> takeRetryScore() override;

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
    std::optional<int> retryScore_;
};
