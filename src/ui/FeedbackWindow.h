#pragma once

#include "update/Feedback.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

// The window «Обратная связь — Толван»: a bug report, an idea or a question posted to the makers, with an
// e-mail through the user's mail program when the post fails. One shared instance; the window is built on
// first show, keeps its contents until a message has gone, and is only hidden when closed. Main thread
// only.
class FeedbackWindow : public QObject
{
    Q_OBJECT

public:
    static FeedbackWindow& shared();
    explicit FeedbackWindow(QObject* parent = nullptr);
    ~FeedbackWindow() override;

    // Builds the window if needed, brings it to the front and puts the keyboard focus into the message.
    void showWindow();
    // The window, once shown; for inspection.
    QWidget* window() const;

    // Opens a link with the desktop's default handler (the mailto link of the e-mail alternative); tests
    // replace it.
    std::function<bool(const QUrl&)> openUrl;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ensureWindow();
    QCheckBox* addWrappedCheck(QVBoxLayout* layout, const char* name, const QString& title);
    FeedbackMessage message() const;
    void send();
    bool validate(const FeedbackMessage& message);
    void answered(const Feedback::Answer& answer, const FeedbackMessage& form);
    void offerMailFallback(const QString& message);

    QPointer<QDialog> window_;
    QButtonGroup* kinds_ = nullptr;
    QPlainTextEdit* textView_ = nullptr;
    QLineEdit* emailField_ = nullptr;
    QCheckBox* consentCheck_ = nullptr;
    QCheckBox* metaCheck_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QNetworkAccessManager network_;
};
