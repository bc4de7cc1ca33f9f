#include "ui/SpeechReviewWindow.h"

#include "platform/ActiveWindow.h"
#include "quality/SpeechQuality.h"
#include "ui/Glyphs.h"
#include "ui/WindowFront.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace
{

constexpr int windowWidth = 620;
constexpr int windowHeight = 604;
constexpr int buttonHeight = 32;
constexpr int advisorInsetX = 8;
constexpr int advisorInsetY = 6;
constexpr QChar minusSign(0x2212);

QString localAdvisorTitle()
{
    return QStringLiteral("💡 Советник стиля (локальный ИИ):");
}

QFont sizedFont(double points, QFont::Weight weight = QFont::Normal)
{
    QFont result;
    result.setPointSizeF(points);
    result.setWeight(weight);
    return result;
}

QColor translucent(int red, int green, int blue, double alpha)
{
    QColor color(red, green, blue);
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QColor highlightColor(SpeechIssue::Kind kind)
{
    switch (kind) {
    case SpeechIssue::Kind::filler:
        return translucent(255, 204, 0, 0.35);
    case SpeechIssue::Kind::repetition:
        return translucent(255, 149, 0, 0.35);
    case SpeechIssue::Kind::phrasing:
        return translucent(255, 59, 48, 0.35);
    case SpeechIssue::Kind::style:
        return translucent(48, 176, 199, 0.22);
    }
    return {};
}

QColor scoreColor(int score)
{
    if (score >= 4)
        return QColor(40, 160, 70);
    if (score == 3)
        return QColor(230, 130, 0);
    return QColor(215, 50, 40);
}

void setTextColor(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

QLabel* label(QWidget* parent, const char* name, const QFont& labelFont)
{
    auto* result = new QLabel(parent);
    result->setObjectName(QLatin1String(name));
    result->setFont(labelFont);
    result->setTextFormat(Qt::PlainText);
    return result;
}

QTextEdit* textView(QWidget* parent, const char* name, int height)
{
    auto* view = new QTextEdit(parent);
    view->setObjectName(QLatin1String(name));
    view->setReadOnly(true);
    view->setAcceptRichText(false);
    view->setFixedHeight(height);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return view;
}

// Setting a text rebuilds the document's root frame, so the inset goes on after the text.
void setViewText(QTextEdit* view, const QString& text, qreal horizontalInset, qreal verticalInset)
{
    view->setPlainText(text);
    QTextFrame* root = view->document()->rootFrame();
    QTextFrameFormat format = root->frameFormat();
    format.setLeftMargin(horizontalInset);
    format.setRightMargin(horizontalInset);
    format.setTopMargin(verticalInset);
    format.setBottomMargin(verticalInset);
    root->setFrameFormat(format);
}

QPushButton* button(QWidget* parent, const char* name, const QString& title, int width)
{
    auto* result = new QPushButton(Glyphs::displayable(title), parent);
    result->setObjectName(QLatin1String(name));
    result->setFixedSize(width, buttonHeight);
    result->setAutoDefault(false);
    return result;
}

} // namespace

SpeechReviewWindow::SpeechReviewWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("SpeechReview"));
    setWindowTitle(QStringLiteral("Грамотная речь"));
    // The application lives in the tray: closing this window must not end it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(windowWidth, windowHeight);
    const QColor secondary = palette().color(QPalette::PlaceholderText);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(8);

    scoreLabel_ = label(this, "scoreLabel", sizedFont(20, QFont::Bold));
    layout->addWidget(scoreLabel_);
    attemptLabel_ = label(this, "attemptLabel", sizedFont(11.5));
    setTextColor(attemptLabel_, QPalette::WindowText, secondary);
    attemptLabel_->hide();
    layout->addWidget(attemptLabel_);

    phraseView_ = textView(this, "phrase", 224);
    layout->addWidget(phraseView_);

    buildAdvisorRow(layout);

    hintsView_ = textView(this, "hints", 118);
    hintsView_->setFont(sizedFont(11.5));
    setTextColor(hintsView_, QPalette::Text, secondary);
    layout->addWidget(hintsView_);
    layout->addStretch(1);

    buildButtonRow(layout);

    // Outside a dialog Qt hands Return to no default button, whichever widget has the focus.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this] { pressDefaultButton(); });
    }

    WindowFront::centerOnScreen(this);
    winId();
    windowHandle()->installEventFilter(this);
}

void SpeechReviewWindow::buildAdvisorRow(QVBoxLayout* layout)
{
    advisorTitle_ = label(this, "advisorTitle", sizedFont(12, QFont::DemiBold));
    advisorTitle_->setText(Glyphs::displayable(localAdvisorTitle()));
    layout->addWidget(advisorTitle_);
    auto* advisorRow = new QHBoxLayout;
    advisorRow->setSpacing(8);
    advisorView_ = textView(this, "advisor", 72);
    advisorView_->setFont(sizedFont(12.5));
    // Three lines without a scroll bar, whatever the font's real size turns out to be.
    advisorView_->setFixedHeight(std::max(72, 3 * advisorView_->fontMetrics().lineSpacing() + 2 * advisorInsetY +
                                                  2 * advisorView_->frameWidth()));
    advisorRow->addWidget(advisorView_, 1);
    advisorButton_ = button(this, "advisorBtn", QStringLiteral("Вставить вариант советника"), 192);
    advisorButton_->hide();
    advisorRow->addWidget(advisorButton_, 0, Qt::AlignTop);
    layout->addLayout(advisorRow);
    connect(advisorButton_, &QPushButton::clicked, this, [this] { choose(Choice::advisorVariant); });
}

void SpeechReviewWindow::buildButtonRow(QVBoxLayout* layout)
{
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    cancelButton_ = button(this, "cancelBtn", QStringLiteral("Отмена"), 86);
    retryButton_ = button(this, "retryBtn", QStringLiteral("🎙 Повторить фразу"), 158);
    retryButton_->setToolTip(QStringLiteral("Продиктовать эту же мысль заново — попробуйте чище!"));
    asIsButton_ = button(this, "asisBtn", QStringLiteral("Как есть"), 96);
    cleanButton_ = button(this, "cleanBtn", QStringLiteral("Вставить очищенный"), 192);
    copyButton_ = button(this, "copyBtn", QStringLiteral("Скопировать очищенный"), 212);
    copyButton_->hide();
    cleanButton_->setAutoDefault(true);
    copyButton_->setAutoDefault(true);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(retryButton_);
    buttons->addStretch(1);
    buttons->addWidget(asIsButton_);
    buttons->addWidget(cleanButton_);
    buttons->addWidget(copyButton_);
    layout->addLayout(buttons);

    connect(cleanButton_, &QPushButton::clicked, this, [this] { choose(Choice::clean); });
    connect(copyButton_, &QPushButton::clicked, this, [this] { choose(Choice::copyClean); });
    connect(asIsButton_, &QPushButton::clicked, this, [this] { choose(Choice::asIs); });
    connect(retryButton_, &QPushButton::clicked, this, [this] { choose(Choice::retry); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { choose(Choice::cancel); });
}

void SpeechReviewWindow::showScore(int score, std::optional<int> previousScore)
{
    const int stars = std::clamp(score, 0, 5);
    scoreLabel_->setText(QString(stars, QChar(u'★')) + QString(5 - stars, QChar(u'☆')) +
                         QStringLiteral("  %1 из 5 — ").arg(score) + SpeechQuality::scoreWord(score));
    setTextColor(scoreLabel_, QPalette::WindowText, scoreColor(score));
    if (!previousScore) {
        attemptLabel_->hide();
        return;
    }
    QString attempt = QStringLiteral("Повторная попытка · прошлая оценка: %1 из 5").arg(*previousScore);
    if (score > *previousScore)
        attempt += QStringLiteral(" — прогресс!");
    attemptLabel_->setText(attempt);
    attemptLabel_->show();
}

void SpeechReviewWindow::showPhrase(const QString& text, const QList<SpeechIssue>& issues)
{
    setViewText(phraseView_, text, 10, 10);
    QTextCursor cursor(phraseView_->document());
    cursor.select(QTextCursor::Document);
    QTextCharFormat base;
    base.setFontPointSize(13.5);
    base.setForeground(phraseView_->palette().color(QPalette::Text));
    cursor.mergeCharFormat(base);

    // Style findings cover whole sentences; the findings inside them must stay visible on top.
    const auto paint = [&](const SpeechIssue& issue) {
        QTextCharFormat format;
        format.setBackground(highlightColor(issue.kind));
        QList<SpeechIssue::Range> ranges{issue.range};
        ranges.append(issue.extraRanges);
        for (const SpeechIssue::Range& range : std::as_const(ranges)) {
            const qsizetype start = std::clamp<qsizetype>(range.location, 0, text.size());
            const qsizetype end = std::clamp<qsizetype>(range.end(), start, text.size());
            if (start == end)
                continue;
            cursor.setPosition(static_cast<int>(start));
            cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(format);
        }
    };
    for (const SpeechIssue& issue : std::as_const(issues))
        if (issue.kind == SpeechIssue::Kind::style)
            paint(issue);
    for (const SpeechIssue& issue : std::as_const(issues))
        if (issue.kind != SpeechIssue::Kind::style)
            paint(issue);
}

void SpeechReviewWindow::showHints(const QList<SpeechIssue>& issues)
{
    QStringList hints;
    for (const SpeechIssue& issue : issues)
        hints.append(QStringLiteral("• «") + issue.text + QStringLiteral("» — ") + issue.hint);
    hintsView_->setPlainText(hints.join(QLatin1Char('\n')));
}

void SpeechReviewWindow::showButtons(bool inspect, qsizetype removable)
{
    const QString count = QString(minusSign) + QString::number(removable);
    cancelButton_->setText(inspect ? QStringLiteral("Закрыть") : QStringLiteral("Отмена"));
    asIsButton_->setVisible(!inspect);
    cleanButton_->setVisible(!inspect && removable > 0);
    copyButton_->setVisible(inspect && removable > 0);
    cleanButton_->setText(QStringLiteral("Вставить очищенный (%1)").arg(count));
    copyButton_->setText(QStringLiteral("Скопировать очищенный (%1)").arg(count));
    cleanButton_->setDefault(!inspect);
    copyButton_->setDefault(inspect);
}

void SpeechReviewWindow::resetAdvisor()
{
    advisorButton_->hide();
    advisorTitle_->setText(Glyphs::displayable(localAdvisorTitle()));
}

void SpeechReviewWindow::setAdvisorTitle(const QString& title)
{
    advisorTitle_->setText(Glyphs::displayable(title));
}

void SpeechReviewWindow::setAdvisorText(const QString& text)
{
    setViewText(advisorView_, text, advisorInsetX, advisorInsetY);
}

void SpeechReviewWindow::offerSuggestion(const QString& suggestion, const QString& buttonTitle)
{
    setAdvisorText(suggestion);
    advisorButton_->setText(buttonTitle);
    advisorButton_->show();
}

void SpeechReviewWindow::bringToFront()
{
    show();
    raise();
    activateWindow();
    awaitsExposure_ = true;
    if (windowHandle()->isExposed()) {
        awaitsExposure_ = false;
        exposed();
    }
}

void SpeechReviewWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    choose(Choice::closeBox);
}

bool SpeechReviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && awaitsExposure_ && windowHandle()->isExposed()) {
        awaitsExposure_ = false;
        exposed();
    }
    return QWidget::eventFilter(watched, event);
}

void SpeechReviewWindow::choose(Choice choice)
{
    if (onChoice)
        onChoice(choice);
}

void SpeechReviewWindow::pressDefaultButton()
{
    for (QPushButton* candidate : {cleanButton_, copyButton_}) {
        if (candidate->isVisible()) {
            candidate->click();
            return;
        }
    }
}

void SpeechReviewWindow::exposed()
{
    // Qt's own activation request counts as coming from an application, which window managers that
    // prevent focus stealing refuse for a tray program; a pager's request is honoured.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !isActiveWindow())
        ActiveWindow::activate(winId());
}
