#include "ui/SpeechReview.h"

#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "quality/AdvisorText.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"
#include "ui/Glyphs.h"
#include "ui/WindowFront.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>

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

QFont font(double points, QFont::Weight weight = QFont::Normal)
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

// The top-level window; it reports its close box and its first exposure after being shown.
class SpeechReview::Window : public QWidget
{
public:
    Window() : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    {}

    std::function<void()> onClose;
    std::function<void()> onExposed;
    bool awaitsExposure = false;

    void watchExposure()
    {
        winId();
        windowHandle()->installEventFilter(this);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        if (onClose)
            onClose();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && awaitsExposure && windowHandle()->isExposed()) {
            awaitsExposure = false;
            if (onExposed)
                onExposed();
        }
        return QWidget::eventFilter(watched, event);
    }
};

SpeechReview& SpeechReview::shared()
{
    return sharedInstance<SpeechReview>();
}

SpeechReview::SpeechReview(QObject* parent) : QObject(parent) {}

SpeechReview::~SpeechReview()
{
    delete window_;
}

QWidget* SpeechReview::window() const
{
    return window_;
}

void SpeechReview::show(const QString& text, const QList<SpeechIssue>& issues, ActiveWindow::WindowId target,
                        std::optional<int> previousScore, Mode mode, DecisionHandler completion)
{
    if (MainThread::isCurrent()) {
        present(text, issues, target, previousScore, mode, std::move(completion));
        return;
    }
    MainThread::post(this, [this, text, issues, target, previousScore, mode, completion = std::move(completion)] {
        present(text, issues, target, previousScore, mode, completion);
    });
}

void SpeechReview::present(const QString& text, const QList<SpeechIssue>& issues, ActiveWindow::WindowId target,
                           std::optional<int> previousScore, Mode mode, DecisionHandler completion)
{
    dismissWaitingCaller();
    ensureWindow();
    text_ = text;
    issues_ = issues;
    prevApp_ = target;
    mode_ = mode;
    completion_ = std::move(completion);

    showScore(SpeechQuality::score(issues_), previousScore);
    showPhrase();
    QStringList hints;
    for (const SpeechIssue& issue : std::as_const(issues_))
        hints.append(QStringLiteral("• «") + issue.text + QStringLiteral("» — ") + issue.hint);
    hintsView_->setPlainText(hints.join(QLatin1Char('\n')));
    showButtons();
    // Shown first: the advisor may answer before suggest returns, and answers for a hidden window are dropped.
    bringToFront();
    refreshAdvisor(text_);
}

void SpeechReview::ensureWindow()
{
    if (window_)
        return;
    window_ = new Window;
    window_->setObjectName(QStringLiteral("SpeechReview"));
    window_->setWindowTitle(QStringLiteral("Грамотная речь"));
    // The application lives in the tray: closing this window must not end it.
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->setFixedSize(windowWidth, windowHeight);
    window_->onClose = [this] { dismissWaitingCaller(); };
    const QColor secondary = window_->palette().color(QPalette::PlaceholderText);

    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(8);

    scoreLabel_ = label(window_, "scoreLabel", font(20, QFont::Bold));
    layout->addWidget(scoreLabel_);
    attemptLabel_ = label(window_, "attemptLabel", font(11.5));
    setTextColor(attemptLabel_, QPalette::WindowText, secondary);
    attemptLabel_->hide();
    layout->addWidget(attemptLabel_);

    phraseView_ = textView(window_, "phrase", 224);
    layout->addWidget(phraseView_);

    advisorTitle_ = label(window_, "advisorTitle", font(12, QFont::DemiBold));
    advisorTitle_->setText(Glyphs::displayable(localAdvisorTitle()));
    layout->addWidget(advisorTitle_);
    auto* advisorRow = new QHBoxLayout;
    advisorRow->setSpacing(8);
    advisorView_ = textView(window_, "advisor", 72);
    advisorView_->setFont(font(12.5));
    // Three lines without a scroll bar, whatever the font's real size turns out to be.
    advisorView_->setFixedHeight(std::max(72, 3 * advisorView_->fontMetrics().lineSpacing() + 2 * advisorInsetY +
                                                  2 * advisorView_->frameWidth()));
    advisorRow->addWidget(advisorView_, 1);
    advisorButton_ = button(window_, "advisorBtn", QStringLiteral("Вставить вариант советника"), 192);
    advisorButton_->hide();
    advisorRow->addWidget(advisorButton_, 0, Qt::AlignTop);
    layout->addLayout(advisorRow);

    hintsView_ = textView(window_, "hints", 118);
    hintsView_->setFont(font(11.5));
    setTextColor(hintsView_, QPalette::Text, secondary);
    layout->addWidget(hintsView_);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    cancelButton_ = button(window_, "cancelBtn", QStringLiteral("Отмена"), 86);
    retryButton_ = button(window_, "retryBtn", QStringLiteral("🎙 Повторить фразу"), 158);
    retryButton_->setToolTip(QStringLiteral("Продиктовать эту же мысль заново — попробуйте чище!"));
    asIsButton_ = button(window_, "asisBtn", QStringLiteral("Как есть"), 96);
    cleanButton_ = button(window_, "cleanBtn", QStringLiteral("Вставить очищенный"), 192);
    copyButton_ = button(window_, "copyBtn", QStringLiteral("Скопировать очищенный"), 212);
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

    connect(advisorButton_, &QPushButton::clicked, this, [this] {
        if (suggestion_)
            finish({mode_ == Mode::inspect ? Decision::copyClean : Decision::insert, *suggestion_});
    });
    connect(cleanButton_, &QPushButton::clicked, this, [this] { finish({Decision::insert, cleanedText()}); });
    connect(copyButton_, &QPushButton::clicked, this, [this] { finish({Decision::copyClean, cleanedText()}); });
    connect(asIsButton_, &QPushButton::clicked, this, [this] { finish({Decision::insert, text_}); });
    connect(retryButton_, &QPushButton::clicked, this, [this] {
        retryScore = SpeechQuality::score(issues_);
        finish({Decision::retry, {}});
    });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { finish(dismissal()); });

    // Outside a dialog Qt hands Return to no default button, whichever widget has the focus.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), window_);
        connect(shortcut, &QShortcut::activated, this, [this] { pressDefaultButton(); });
    }

    WindowFront::centerOnScreen(window_);
    window_->onExposed = [this] {
        // Qt's own activation request counts as coming from an application, which window managers that
        // prevent focus stealing refuse for a tray program; a pager's request is honoured.
        if (QGuiApplication::platformName() == QLatin1String("xcb") && !window_->isActiveWindow())
            ActiveWindow::activate(window_->winId());
    };
    window_->watchExposure();
}

void SpeechReview::showScore(int score, std::optional<int> previousScore)
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

void SpeechReview::showPhrase()
{
    setViewText(phraseView_, text_, 10, 10);
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
            const qsizetype start = std::clamp<qsizetype>(range.location, 0, text_.size());
            const qsizetype end = std::clamp<qsizetype>(range.end(), start, text_.size());
            if (start == end)
                continue;
            cursor.setPosition(static_cast<int>(start));
            cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(format);
        }
    };
    for (const SpeechIssue& issue : std::as_const(issues_))
        if (issue.kind == SpeechIssue::Kind::style)
            paint(issue);
    for (const SpeechIssue& issue : std::as_const(issues_))
        if (issue.kind != SpeechIssue::Kind::style)
            paint(issue);
}

void SpeechReview::showButtons()
{
    const auto removable =
        std::count_if(issues_.cbegin(), issues_.cend(), [](const SpeechIssue& issue) { return issue.removable; });
    const QString count = QString(minusSign) + QString::number(removable);
    const bool inspect = mode_ == Mode::inspect;
    cancelButton_->setText(inspect ? QStringLiteral("Закрыть") : QStringLiteral("Отмена"));
    asIsButton_->setVisible(!inspect);
    cleanButton_->setVisible(!inspect && removable > 0);
    copyButton_->setVisible(inspect && removable > 0);
    cleanButton_->setText(QStringLiteral("Вставить очищенный (%1)").arg(count));
    copyButton_->setText(QStringLiteral("Скопировать очищенный (%1)").arg(count));
    cleanButton_->setDefault(!inspect);
    copyButton_->setDefault(inspect);
}

void SpeechReview::bringToFront()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
    window_->awaitsExposure = true;
    if (window_->windowHandle()->isExposed()) {
        window_->awaitsExposure = false;
        window_->onExposed();
    }
}

void SpeechReview::refreshAdvisor(const QString& text)
{
    suggestion_.reset();
    advisorButton_->hide();
    advisorTitle_->setText(Glyphs::displayable(localAdvisorTitle()));
    const bool inspect = mode_ == Mode::inspect;
    SettingsStore& settings = SettingsStore::shared();
    const QString style = settings.stringForKey(SettingsKey::advisorStyle).value_or(QStringLiteral("neutral"));
    if (AdvisorText::isAnimalStyle(style)) {
        const bool cat = style == QLatin1String("cat");
        advisorTitle_->setText(Glyphs::displayable(cat ? QStringLiteral("💡 Советник (кошачий переводчик 🐱):")
                                                       : QStringLiteral("💡 Советник (собачий переводчик 🐶):")));
        offerSuggestion(AdvisorText::animalTranslate(text, cat),
                        inspect ? QStringLiteral("Скопировать перевод") : QStringLiteral("Вставить перевод"));
        return;
    }
    if (!settings.boolForKey(SettingsKey::styleAdvisor)) {
        setAdvisorText(QStringLiteral("Советник выключен. Включите в меню «Грамотная речь» → «Советник стиля» — "
                                      "локальная ИИ-модель предложит улучшенный вариант фразы (порядок слов, "
                                      "канцеляризмы)."));
        return;
    }
    if (settings.integerForKey(SettingsKey::advisorIntensity) < 1) {
        setAdvisorText(QStringLiteral("Вмешательство: 0 — советник только подсвечивает. Поднимите уровень в меню "
                                      "«Грамотная речь» → «Вмешательство», чтобы получать переписанный вариант."));
        return;
    }
    AdvisorEngine& engine = AdvisorEngine::shared();
    if (engine.modelDownloaded()) {
        setAdvisorText(QStringLiteral("Советник думает…"));
        const QPointer<SpeechReview> self(this);
        engine.suggest(text, std::nullopt, std::nullopt, false, [self, text](Result<AdvisorEngine::Advice> result) {
            if (self)
                self->adviceArrived(text, result);
        });
        return;
    }
    if (engine.state().kind == AdvisorEngine::State::downloading) {
        setAdvisorText(
            QStringLiteral("Модель советника загружается: %1%…").arg(static_cast<int>(engine.state().progress * 100)));
        return;
    }
    setAdvisorText(QStringLiteral("Модель советника ещё не загружена (меню «Грамотная речь»)."));
}

void SpeechReview::adviceArrived(const QString& askedAbout, const Result<AdvisorEngine::Advice>& result)
{
    if (askedAbout != text_ || !window_ || !window_->isVisible())
        return;
    if (!result) {
        setAdvisorText(QStringLiteral("Советник недоступен: ") + result.error().description());
        return;
    }
    const AdvisorEngine::Advice& advice = result.value();
    if (advice.score)
        advisorTitle_->setText(
            Glyphs::displayable(QStringLiteral("💡 Советник стиля (ИИ-оценка: %1 из 5):").arg(*advice.score)));
    if (advice.refused) {
        setAdvisorText(QStringLiteral("Советник не справился с этой фразой (ушёл в рассуждения). Попробуйте "
                                      "«Повторить фразу» или другой уровень вмешательства."));
    } else if (advice.score != 5 && !advice.text.isEmpty() && advice.text != text_) {
        offerSuggestion(advice.text, mode_ == Mode::inspect ? QStringLiteral("Скопировать вариант советника")
                                                            : QStringLiteral("Вставить вариант советника"));
    } else {
        setAdvisorText(QStringLiteral("Фраза и так хороша — переписывать нечего ✓"));
    }
}

void SpeechReview::setAdvisorText(const QString& text)
{
    setViewText(advisorView_, text, advisorInsetX, advisorInsetY);
}

void SpeechReview::offerSuggestion(const QString& suggestion, const QString& buttonTitle)
{
    suggestion_ = suggestion;
    setAdvisorText(suggestion);
    advisorButton_->setText(buttonTitle);
    advisorButton_->show();
}

void SpeechReview::pressDefaultButton()
{
    for (QPushButton* candidate : {cleanButton_, copyButton_}) {
        if (candidate->isVisible()) {
            candidate->click();
            return;
        }
    }
}

QString SpeechReview::cleanedText() const
{
    return SpeechCleaning::clean(text_, issues_);
}

void SpeechReview::finish(const Decision& decision)
{
    const DecisionHandler completion = std::exchange(completion_, nullptr);
    window_->hide();
    if (!completion)
        return;
    if (decision.kind == Decision::insert && !decision.text.isEmpty() && prevApp_ != 0) {
        ActiveWindow::activate(prevApp_);
        // The text is typed into whatever has the focus, so the window manager gets time to switch.
        QTimer::singleShot(activationDelayMs, this, [completion, decision] { completion(decision); });
        return;
    }
    completion(decision);
}

SpeechReview::Decision SpeechReview::dismissal() const
{
    return {mode_ == Mode::inspect ? Decision::close : Decision::cancel, {}};
}

void SpeechReview::dismissWaitingCaller()
{
    if (const DecisionHandler waiting = std::exchange(completion_, nullptr))
        waiting(dismissal());
}
