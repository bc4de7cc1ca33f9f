#include "dictation/TextDelivery.h"

#include "core/Log.h"
#include "core/SettingsStore.h"
#include "dictation/DictationDisplay.h"
#include "dictation/TextInserter.h"
#include "platform/WaylandRoute.h"
#include "quality/AdvisorEngine.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"
#include "text/Typography.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace
{

QString stars(int score)
{
    const int filled = std::clamp(score, 0, 5);
    return QString(filled, QChar(0x2605)) + QString(std::max(5 - score, 0), QChar(0x2606));
}

QString onClipboardMessage()
{
    return QStringLiteral("Текст в буфере — вставьте Ctrl+V");
}

// Why a text was not pasted but left on the clipboard.
QString notPastedMessage()
{
    if (WaylandRoute::shared().stoppedByUser())
        return QStringLiteral("Вставка остановлена до новой диктовки — текст в буфере, Ctrl+V");
    return onClipboardMessage();
}

} // namespace

TextDelivery::TextDelivery(DictationDisplay& display, QObject* parent) : QObject(parent), display_(display) {}

ActiveWindow::WindowId TextDelivery::currentTarget()
{
    const ActiveWindow::WindowId active = ActiveWindow::current();
    const QList<QWindow*> ours = QGuiApplication::allWindows();
    const bool own = std::any_of(ours.begin(), ours.end(),
                                 [active](QWindow* window) { return window->handle() && window->winId() == active; });
    return own ? 0 : active;
}

void TextDelivery::deliver(const QString& text, ActiveWindow::WindowId target, TextProfile profile)
{
    const QString mode =
        SettingsStore::shared().stringForKey(SettingsKey::speechQuality).value_or(QStringLiteral("highlight"));
    if (!TextProfiles::shaping(profile).speechQuality)
        insert(text, target, [this] { hidePanel(); });
    else if (mode == QLatin1String("autoclean"))
        deliverAutoclean(text, target);
    else if (mode == QLatin1String("autopilot"))
        deliverAutopilot(text, target);
    else if (mode == QLatin1String("highlight"))
        deliverHighlight(text, target);
    else
        insert(text, target, [this] { hidePanel(); });
}

void TextDelivery::recordingStarted()
{
    recording_ = true;
    WaylandRoute::shared().recordingStarted();
}

void TextDelivery::recordingEnded()
{
    recording_ = false;
    WaylandRoute::shared().recordingEnded();
    pump();
    showNextReview();
}

void TextDelivery::keepUndelivered()
{
    QStringList texts = advising_;
    if (underReview_)
        reviews_.push_front(*underReview_);
    for (const Review& review : reviews_) {
        if (review.mode == PhraseReview::Mode::decide)
            texts << review.text;
    }
    for (const Insertion& insertion : insertions_) {
        if (!insertion.inHistory && insertion.review == 0)
            texts << insertion.text;
    }
    advising_.clear();
    reviews_.clear();
    insertions_.clear();
    if (underReview_) {
        underReview_.reset();
        // Its phrase is in the history now; the decision, if any comes, is not waited for.
        PhraseReview::shared().close();
    }
    for (const QString& text : texts) {
        SettingsStore::shared().prependToHistory(text);
        Log::info(QStringLiteral("Невставленный текст сохранён в истории"));
    }
}

void TextDelivery::deliverAutoclean(const QString& text, ActiveWindow::WindowId target)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    const int score = SpeechQuality::score(issues);
    QList<SpeechIssue> removable;
    std::copy_if(issues.begin(), issues.end(), std::back_inserter(removable),
                 [](const SpeechIssue& issue) { return issue.removable; });
    const QString cleaned = removable.isEmpty() ? text : SpeechCleaning::clean(text, removable);
    insert(cleaned, target, [this, removed = removable.size(), score] {
        if (removed > 0)
            flash(QStringLiteral("Убрано %1 · оценка %2 из 5").arg(removed).arg(score));
        else if (score == 5)
            hidePanel();
        else
            flash(QStringLiteral("Грамотная речь: %1 из 5 ").arg(score) + stars(score));
    });
}

void TextDelivery::deliverAutopilot(const QString& text, ActiveWindow::WindowId target)
{
    if (!recording_)
        display_.showProcessing(QStringLiteral("Автопилот переписывает…"));
    advising_ << text;
    const QPointer<TextDelivery> self(this);
    AdvisorEngine::shared().suggest(
        text, std::nullopt, std::nullopt, false, [self, text, target](Result<AdvisorEngine::Advice> answer) {
            // Gone from the list: kept in the history at quit already.
            if (!self || !self->advising_.removeOne(text))
                return;
            if (!answer) {
                self->insert(text, target,
                             [self] { self->flash(QStringLiteral("Автопилот недоступен — вставлен оригинал")); });
                return;
            }
            const AdvisorEngine::Advice& advice = answer.value();
            if (advice.refused) {
                Log::info(QStringLiteral("Автопилот: мета-ответ модели отброшен: «%1»").arg(advice.text.left(80)));
                self->insert(text, target,
                             [self] { self->flash(QStringLiteral("Автопилот не справился — вставлен оригинал")); });
                return;
            }
            // The model writes like the recognizer: the rewrite is typeset like the dictated text.
            const QString advised =
                Typography::apply(advice.text, Typography::optionsFrom(SettingsStore::shared())).text;
            const bool useAdvice = advice.score != 5 && !advised.isEmpty() && advised != text;
            const QString suffix = advice.score ? QStringLiteral(" · исходник %1 из 5").arg(*advice.score) : QString();
            self->insert(useAdvice ? advised : text, target, [self, useAdvice, suffix] {
                if (useAdvice)
                    self->flash(QStringLiteral("Автопилот ✎") + suffix);
                else
                    self->hidePanel();
            });
        });
}

void TextDelivery::deliverHighlight(const QString& text, ActiveWindow::WindowId target)
{
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    const int score = SpeechQuality::score(issues);
    const std::optional<int> previous = PhraseReview::shared().takeRetryScore();
    if (score == 5) {
        insert(text, target, [this, previous] {
            if (previous)
                flash(QStringLiteral("Стало 5 из 5 ★★★★★ (было %1) — отлично!").arg(*previous));
            else
                hidePanel();
        });
    } else if (score == 4) {
        insert(text, target, [this, inspect = Review{text, issues, previous, PhraseReview::Mode::inspect, target}] {
            const QPointer<TextDelivery> self(this);
            display_.showTappableBadge(QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"),
                                       QStringLiteral("нажмите, чтобы посмотреть разбор"), badgeSeconds,
                                       [self, inspect] {
                                           if (self)
                                               self->openReview(inspect);
                                       });
        });
    } else {
        hidePanel();
        const quint64 placeholder = ++lastPlaceholder_;
        insertions_.push_back(Insertion{{}, target, {}, false, placeholder});
        openReview(Review{text, issues, previous, PhraseReview::Mode::decide, target, placeholder});
    }
}

void TextDelivery::openReview(Review review)
{
    reviews_.push_back(std::move(review));
    showNextReview();
}

// One phrase at a time, and none while a recording runs: the window takes the focus. It opens after a pause
// that lets the phrase decided before be pasted first.
void TextDelivery::showNextReview()
{
    if (recording_ || underReview_ || reviews_.empty())
        return;
    underReview_ = std::move(reviews_.front());
    reviews_.pop_front();
    const QPointer<TextDelivery> self(this);
    const quint64 serial = ++reviewSerial_;
    QTimer::singleShot(reviewPauseMs, this, [self, serial] {
        if (!self || !self->underReview_ || self->reviewSerial_ != serial)
            return;
        // A recording started meanwhile keeps the focus: the phrase waits for its end.
        if (self->recording_) {
            self->reviews_.push_front(std::move(*self->underReview_));
            self->underReview_.reset();
            return;
        }
        const Review& review = *self->underReview_;
        PhraseReview::shared().show(review.text, review.issues, 0, review.previousScore, review.mode,
                                    [self, serial](const PhraseReview::Decision& decision) {
                                        if (self && self->underReview_ && self->reviewSerial_ == serial)
                                            self->handleReviewDecision(decision, *self->underReview_);
                                    });
    });
}

void TextDelivery::handleReviewDecision(const PhraseReview::Decision& decision, const Review& review)
{
    const quint64 placeholder = review.placeholder;
    underReview_.reset();
    fillPlaceholder(placeholder, decision.kind == PhraseReview::Decision::insert ? decision.text : QString());
    switch (decision.kind) {
    case PhraseReview::Decision::insert:
        break;
    case PhraseReview::Decision::copyClean:
        TextInserter::copyRaw(decision.text);
        flash(QStringLiteral("Очищенный вариант в буфере — Ctrl+V, чтобы заменить"));
        break;
    case PhraseReview::Decision::cancel:
        flash(QStringLiteral("Отменено"));
        break;
    case PhraseReview::Decision::retry:
        // The next phrase waits until the phrase said again has been recorded.
        QTimer::singleShot(retryDelayMs, this, [this] {
            emit retryRequested();
            showNextReview();
        });
        return;
    case PhraseReview::Decision::close:
        break;
    }
    showNextReview();
}

void TextDelivery::fillPlaceholder(quint64 placeholder, const QString& text)
{
    const auto held = std::find_if(insertions_.begin(), insertions_.end(), [placeholder](const Insertion& insertion) {
        return insertion.review == placeholder;
    });
    if (held == insertions_.end())
        return;
    if (text.isEmpty()) {
        insertions_.erase(held);
    } else {
        held->text = text;
        held->review = 0;
        held->then = [this] { hidePanel(); };
    }
    pump();
}

void TextDelivery::insert(const QString& text, ActiveWindow::WindowId target, std::function<void()> then)
{
    insertions_.push_back(Insertion{text, target, std::move(then)});
    pump();
}

void TextDelivery::pump()
{
    while (!busy_) {
        const auto next = nextInsertion();
        if (next == insertions_.end())
            return;
        if (recording_ && (next->target == 0 || next->target != ActiveWindow::current())) {
            Log::info(QStringLiteral("Текст ждёт конца записи"));
            return;
        }
        const Insertion insertion = std::move(*next);
        insertions_.erase(next);
        place(insertion);
    }
}

std::deque<TextDelivery::Insertion>::iterator TextDelivery::nextInsertion()
{
    std::vector<ActiveWindow::WindowId> awaitingDecision;
    for (auto insertion = insertions_.begin(); insertion != insertions_.end(); ++insertion) {
        if (insertion->review != 0)
            awaitingDecision.push_back(insertion->target);
        else if (std::find(awaitingDecision.begin(), awaitingDecision.end(), insertion->target) ==
                 awaitingDecision.end())
            return insertion;
    }
    return insertions_.end();
}

// The history first, then the text into its window, brought to the front when needed.
void TextDelivery::place(const Insertion& insertion)
{
    if (!insertion.inHistory)
        SettingsStore::shared().prependToHistory(insertion.text);
    if (insertion.target != 0 && ActiveWindow::current() == insertion.target) {
        paste(insertion);
        return;
    }
    if (insertion.target == 0 || recording_ || !ActiveWindow::activate(insertion.target)) {
        toClipboard(insertion.text);
        return;
    }
    busy_ = true;
    awaitFront(insertion, 0);
}

void TextDelivery::awaitFront(const Insertion& insertion, int attempt)
{
    if (ActiveWindow::current() == insertion.target) {
        paste(insertion);
        return;
    }
    if (attempt * activationPollMs >= activationTimeoutMs) {
        Log::info(QStringLiteral("Окно диктовки не вышло на передний план — текст оставлен в буфере"));
        toClipboard(insertion.text);
        busy_ = false;
        pump();
        return;
    }
    QTimer::singleShot(activationPollMs, this, [this, insertion, attempt] { awaitFront(insertion, attempt + 1); });
}

// The next text goes out once this one's keystroke has gone into its window, or has been given up: before that,
// bringing the next text's window to the front would send this one's keys there.
void TextDelivery::paste(const Insertion& insertion)
{
    busy_ = true;
    TextInserter::insert(insertion.text, insertion.target,
                         [self = QPointer<TextDelivery>(this), insertion](TextInserter::Outcome outcome) {
                             if (self)
                                 self->pasteEnded(insertion, outcome);
                         });
}

void TextDelivery::pasteEnded(Insertion insertion, TextInserter::Outcome outcome)
{
    busy_ = false;
    switch (outcome) {
    case TextInserter::Outcome::pasted:
        emit pasted(insertion.text);
        [[fallthrough]];
    case TextInserter::Outcome::copied:
        if (insertion.then && !recording_)
            insertion.then();
        break;
    case TextInserter::Outcome::modifiersHeld:
        // Right Alt held for the next recording: the text goes in once that recording has ended.
        if (recording_) {
            insertion.inHistory = true;
            insertions_.push_front(std::move(insertion));
            Log::info(QStringLiteral("Текст ждёт конца записи"));
            return;
        }
        flash(notPastedMessage());
        break;
    case TextInserter::Outcome::onClipboard:
        flash(notPastedMessage());
        break;
    case TextInserter::Outcome::clipboardTaken:
        flash(QStringLiteral("Не удалось вставить — текст в меню «История»"));
        break;
    }
    pump();
}

void TextDelivery::toClipboard(const QString& text)
{
    TextInserter::copy(text);
    flash(onClipboardMessage());
}

void TextDelivery::flash(const QString& text)
{
    if (!recording_)
        display_.flash(text);
}

void TextDelivery::hidePanel()
{
    if (!recording_)
        display_.hide();
}
