#pragma once

#include "quality/SpeechIssue.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTextEdit;
class QVBoxLayout;

// The widgets of the window «Грамотная речь»: the score, the phrase with its findings highlighted, the hints,
// the style advisor's row and the buttons. It shows what it is told and reports which button was pressed;
// the review decides the rest. Main thread only.
class SpeechReviewWindow : public QWidget
{
public:
    enum class Choice
    {
        advisorVariant,
        clean,
        copyClean,
        asIs,
        retry,
        cancel,
        closeBox,
    };
    std::function<void(Choice)> onChoice;

    SpeechReviewWindow();

    void showScore(int score, std::optional<int> previousScore);
    void showPhrase(const QString& text, const QList<SpeechIssue>& issues);
    void showHints(const QList<SpeechIssue>& issues);
    // Inspect mode offers only copying; the cleaned-text buttons carry the number of removable findings.
    void showButtons(bool inspect, qsizetype removable);
    // The advisor's own title back, its button hidden.
    void resetAdvisor();
    void setAdvisorTitle(const QString& title);
    void setAdvisorText(const QString& text);
    void offerSuggestion(const QString& suggestion, const QString& buttonTitle);
    void bringToFront();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildAdvisorRow(QVBoxLayout* layout);
    void buildButtonRow(QVBoxLayout* layout);
    void choose(Choice choice);
    void pressDefaultButton();
    void exposed();

    QLabel* scoreLabel_ = nullptr;
    QLabel* attemptLabel_ = nullptr;
    QTextEdit* phraseView_ = nullptr;
    QLabel* advisorTitle_ = nullptr;
    QTextEdit* advisorView_ = nullptr;
    QPushButton* advisorButton_ = nullptr;
    QTextEdit* hintsView_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* retryButton_ = nullptr;
    QPushButton* asIsButton_ = nullptr;
    QPushButton* cleanButton_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    bool awaitsExposure_ = false;
};
