#include "ui/OverlayHUD.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "dictation/DictationDisplay.h"
#include "platform/DesktopSession.h"
#include "ui/HUDPanel.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr float maximumDotGrowth = 0.9F;

} // namespace

OverlayHUD::OverlayHUD(QObject* parent) : QObject(parent)
{
    clock_.setInterval(clockIntervalMs);
    connect(&clock_, &QTimer::timeout, this,
            [this] { updateTimer(timerText(recordingStart_.elapsed() / 1000, profileNote_)); });
}

OverlayHUD::~OverlayHUD()
{
    delete panel_;
}

QString OverlayHUD::timerText(qint64 elapsedSeconds, const QString& profileNote)
{
    // Enter and Esc cannot be taken from native Wayland windows: there the shortcuts the user bound to the
    // commands finish and cancel.
    static const QString keys = DesktopSession::isWayland() ? QStringLiteral("✓ --toggle · ✕ --cancel")
                                                            : QStringLiteral("⏎ готово · Esc отмена");
    return QStringLiteral("%1:%2 · %3")
        .arg(elapsedSeconds / 60)
        .arg(elapsedSeconds % 60, 2, 10, QLatin1Char('0'))
        .arg(profileNote.isEmpty() ? keys : profileNote);
}

void OverlayHUD::observe(DictationDisplay& display)
{
    connect(&display, &DictationDisplay::recordingShown, this, &OverlayHUD::showRecording);
    connect(&display, &DictationDisplay::levelChanged, this, &OverlayHUD::updateLevel);
    connect(&display, &DictationDisplay::liveTextShown, this, &OverlayHUD::showLiveText);
    connect(&display, &DictationDisplay::processingShown, this, &OverlayHUD::showProcessing);
    connect(&display, &DictationDisplay::flashShown, this, &OverlayHUD::flash);
    connect(&display, &DictationDisplay::hidden, this, &OverlayHUD::hide);
    connect(&display, &DictationDisplay::transientDismissed, this, &OverlayHUD::dismissIfTransient);
    connect(&display, &DictationDisplay::badgeShown, this,
            [this, shown = QPointer<DictationDisplay>(&display)](const QString& title, const QString& hint,
                                                                 double durationSeconds) {
                showTappableBadge(title, hint, durationSeconds, [shown] {
                    if (shown)
                        shown->tapBadge();
                });
            });
    connect(this, &OverlayHUD::doneClicked, &display, &DictationDisplay::doneRequested);
    connect(this, &OverlayHUD::cancelClicked, &display, &DictationDisplay::cancelRequested);
}

QWidget* OverlayHUD::panel() const
{
    return panel_;
}

void OverlayHUD::ensurePanel()
{
    if (panel_)
        return;
    panel_ = new HUDPanel;
    panel_->onClick = [this](const QPoint& position) { panelClicked(position); };
    panel_->onDone = [this] { emit doneClicked(); };
    panel_->onCancel = [this] { cancelTapped(); };
}

void OverlayHUD::showState(bool recording, bool spinning)
{
    hideWork_.cancel();
    clock_.stop();
    panel_->showDot(recording);
    panel_->setSpinning(spinning);
    panel_->setButtons(recording, recording);
    panel_->setAcceptsMouse(recording);
    setLiveText(QString());
    transient_ = false;
    badgeTap_ = nullptr;
    badgeClickable_ = false;
}

void OverlayHUD::setTexts(const QString& title, const QString& subtitle)
{
    title_ = title;
    panel_->setTexts(title, subtitle);
}

void OverlayHUD::showRecording(const QString& profileNote)
{
    MainThread::post(this, [this, profileNote] {
        ensurePanel();
        showState(true, false);
        profileNote_ = profileNote;
        setTexts(QStringLiteral("Говорите…"), timerText(0, profileNote_));
        panel_->present();
        recordingStart_.start();
        clock_.start();
    });
}

void OverlayHUD::updateTimer(const QString& text)
{
    MainThread::post(this, [this, text] {
        ensurePanel();
        panel_->setSubtitle(text);
    });
}

void OverlayHUD::updateLevel(float level)
{
    MainThread::post(this, [this, level] {
        if (!panel_ || !panel_->isVisible())
            return;
        panel_->setDotScale(level >= 0 ? 1.0 + std::min(level, 1.0F) * maximumDotGrowth : 1.0);
    });
}

void OverlayHUD::showLiveText(const QString& text)
{
    MainThread::post(this, [this, text] {
        if (panel_ && clock_.isActive())
            setLiveText(text);
    });
}

void OverlayHUD::setLiveText(const QString& text)
{
    liveText_ = text;
    panel_->setLiveText(text);
}

void OverlayHUD::showProcessing(const QString& text)
{
    MainThread::post(this, [this, text] {
        ensurePanel();
        showState(false, true);
        setTexts(text, QString());
        panel_->present();
    });
}

void OverlayHUD::flash(const QString& text)
{
    Log::info(QStringLiteral("Панель: «%1»").arg(text));
    MainThread::post(this, [this, text] {
        ensurePanel();
        showState(false, false);
        transient_ = true;
        panel_->setButtons(false, true);
        panel_->setAcceptsMouse(true);
        setTexts(text, QString());
        panel_->present();
        hideWork_.schedule(flashMs, [this] { hideNow(); });
    });
}

void OverlayHUD::showTappableBadge(const QString& title, const QString& hint, double durationSeconds,
                                   std::function<void()> onTap)
{
    MainThread::post(this, [this, title, hint, durationSeconds, onTap = std::move(onTap)] {
        ensurePanel();
        showState(false, false);
        transient_ = true;
        badgeTap_ = onTap;
        badgeClickable_ = true;
        panel_->setButtons(false, true);
        panel_->setAcceptsMouse(true);
        setTexts(title, hint);
        panel_->present();
        const int milliseconds = static_cast<int>(std::lround(std::max(durationSeconds, 0.0) * 1000.0));
        hideWork_.schedule(milliseconds, [this] { hideNow(); });
    });
}

void OverlayHUD::hide()
{
    MainThread::post(this, [this] { hideNow(); });
}

void OverlayHUD::hideNow()
{
    hideWork_.cancel();
    clock_.stop();
    transient_ = false;
    badgeTap_ = nullptr;
    badgeClickable_ = false;
    if (panel_)
        panel_->fadeOut();
}

void OverlayHUD::dismissIfTransient()
{
    MainThread::post(this, [this] {
        if (transient_ && panel_ && panel_->isVisible())
            hideNow();
    });
}

void OverlayHUD::cancelTapped()
{
    if (transient_)
        hideNow();
    else
        emit cancelClicked();
}

void OverlayHUD::panelClicked(const QPoint& position)
{
    if (!badgeClickable_)
        return;
    if (panel_->isOnCancel(position)) {
        hideNow();
        return;
    }
    const std::function<void()> tap = std::move(badgeTap_);
    hideNow();
    if (tap)
        tap();
}
