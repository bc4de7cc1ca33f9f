#include "ui/SpeechReview.h"

#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "quality/AdvisorText.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"

#include <QTimer>

#include <algorithm>
#include <utility>

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

void SpeechReview::close()
{
    if (window_)
        window_->close();
}

std::optional<int> SpeechReview::takeRetryScore()
{
    return std::exchange(retryScore_, std::nullopt);
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
    targetWindow_ = target;
    mode_ = mode;
    completion_ = std::move(completion);

    window_->showScore(SpeechQuality::score(issues_), previousScore);
    window_->showPhrase(text_, issues_);
    window_->showHints(issues_);
    const auto removable =
        std::count_if(issues_.cbegin(), issues_.cend(), [](const SpeechIssue& issue) { return issue.removable; });
    window_->showButtons(mode_ == Mode::inspect, removable);
    // Shown first: the advisor may answer before suggest returns, and answers for a hidden window are dropped.
    window_->bringToFront();
    refreshAdvisor(text_);
}

void SpeechReview::ensureWindow()
{
    if (window_)
        return;
    window_ = new SpeechReviewWindow;
    window_->onChoice = [this](SpeechReviewWindow::Choice choice) { choose(choice); };
}

void SpeechReview::choose(SpeechReviewWindow::Choice choice)
{
    using Choice = SpeechReviewWindow::Choice;
    switch (choice) {
    case Choice::advisorVariant:
        if (suggestion_)
            finish({mode_ == Mode::inspect ? Decision::copyClean : Decision::insert, *suggestion_});
        return;
    case Choice::clean:
        finish({Decision::insert, cleanedText()});
        return;
    case Choice::copyClean:
        finish({Decision::copyClean, cleanedText()});
        return;
    case Choice::asIs:
        finish({Decision::insert, text_});
        return;
    case Choice::retry:
        retryScore_ = SpeechQuality::score(issues_);
        finish({Decision::retry, {}});
        return;
    case Choice::cancel:
        finish(dismissal());
        return;
    case Choice::closeBox:
        dismissWaitingCaller();
        return;
    }
}

void SpeechReview::refreshAdvisor(const QString& text)
{
    suggestion_.reset();
    window_->resetAdvisor();
    const bool inspect = mode_ == Mode::inspect;
    SettingsStore& settings = SettingsStore::shared();
    const QString style = settings.stringForKey(SettingsKey::advisorStyle).value_or(QStringLiteral("neutral"));
    if (AdvisorText::isAnimalStyle(style)) {
        const bool cat = style == QLatin1String("cat");
        window_->setAdvisorTitle(cat ? QStringLiteral("💡 Советник (кошачий переводчик 🐱):")
                                     : QStringLiteral("💡 Советник (собачий переводчик 🐶):"));
        offerSuggestion(AdvisorText::animalTranslate(text, cat),
                        inspect ? QStringLiteral("Скопировать перевод") : QStringLiteral("Вставить перевод"));
        return;
    }
    if (!settings.boolForKey(SettingsKey::styleAdvisor)) {
        window_->setAdvisorText(
            QStringLiteral("Советник выключен. Включите в меню «Грамотная речь» → «Советник стиля» — "
                           "локальная ИИ-модель предложит улучшенный вариант фразы (порядок слов, "
                           "канцеляризмы)."));
        return;
    }
    if (settings.integerForKey(SettingsKey::advisorIntensity) < 1) {
        window_->setAdvisorText(
            QStringLiteral("Вмешательство: 0 — советник только подсвечивает. Поднимите уровень в меню "
                           "«Грамотная речь» → «Вмешательство», чтобы получать переписанный вариант."));
        return;
    }
    AdvisorEngine& engine = AdvisorEngine::shared();
    if (engine.modelDownloaded()) {
        window_->setAdvisorText(QStringLiteral("Советник думает…"));
        const QPointer<SpeechReview> self(this);
        engine.suggest(text, std::nullopt, std::nullopt, false, [self, text](Result<AdvisorEngine::Advice> result) {
            if (self)
                self->adviceArrived(text, result);
        });
        return;
    }
    if (engine.state().kind == AdvisorEngine::State::downloading) {
        window_->setAdvisorText(
            QStringLiteral("Модель советника загружается: %1%…").arg(static_cast<int>(engine.state().progress * 100)));
        return;
    }
    window_->setAdvisorText(QStringLiteral("Модель советника ещё не загружена (меню «Грамотная речь»)."));
}

void SpeechReview::adviceArrived(const QString& askedAbout, const Result<AdvisorEngine::Advice>& result)
{
    if (askedAbout != text_ || !window_ || !window_->isVisible())
        return;
    if (!result) {
        window_->setAdvisorText(QStringLiteral("Советник недоступен: ") + result.error().description());
        return;
    }
    const AdvisorEngine::Advice& advice = result.value();
    if (advice.score)
        window_->setAdvisorTitle(QStringLiteral("💡 Советник стиля (ИИ-оценка: %1 из 5):").arg(*advice.score));
    if (advice.refused) {
        window_->setAdvisorText(QStringLiteral("Советник не справился с этой фразой (ушёл в рассуждения). Попробуйте "
                                               "«Повторить фразу» или другой уровень вмешательства."));
    } else if (advice.score != 5 && !advice.text.isEmpty() && advice.text != text_) {
        offerSuggestion(advice.text, mode_ == Mode::inspect ? QStringLiteral("Скопировать вариант советника")
                                                            : QStringLiteral("Вставить вариант советника"));
    } else {
        window_->setAdvisorText(QStringLiteral("Фраза и так хороша — переписывать нечего ✓"));
    }
}

void SpeechReview::offerSuggestion(const QString& suggestion, const QString& buttonTitle)
{
    suggestion_ = suggestion;
    window_->offerSuggestion(suggestion, buttonTitle);
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
    if (decision.kind == Decision::insert && !decision.text.isEmpty() && targetWindow_ != 0) {
        ActiveWindow::activate(targetWindow_);
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
