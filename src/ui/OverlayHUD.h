#pragma once

#include "core/DelayedCall.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class DictationDisplay;
class HUDPanel;
class QPoint;
class QWidget;

// What the small floating panel near the bottom of the screen shows about the dictation: a pulsing red dot
// and the time since the recording began, a spinner while recognizing, short transient messages, and a clickable
// badge, and how long a message stays, following a dictation's display. HUDPanel draws it. Every public call may come
// from any thread: it is posted to the main thread and returns at once.
class OverlayHUD : public QObject
{
    Q_OBJECT

public:
    static constexpr int flashMs = 1600;
    static constexpr int clockIntervalMs = 500;

    explicit OverlayHUD(QObject* parent = nullptr);
    ~OverlayHUD() override;

    // The recording state, with the profile note under «Говорите…»; its clock runs until the panel shows something
    // else or hides.
    void showRecording(const QString& profileNote = {});
    void updateTimer(const QString& text);
    // 0…1; grows the dot up to 1.9 times its size. Ignored while the panel is hidden.
    void updateLevel(float level);
    // While recording: the text recognized so far, below the clock. Anything else the panel shows clears it.
    void showLiveText(const QString& text);
    void showProcessing(const QString& text);
    // A transient message with ✕, hidden after 1.6 s.
    void flash(const QString& text);
    // A transient message that runs onTap once when clicked anywhere but on ✕; hidden after the duration.
    void showTappableBadge(const QString& title, const QString& hint, double durationSeconds,
                           std::function<void()> onTap);
    // Fades the panel out.
    void hide();
    // Hides a transient message or badge; leaves the recording and processing states alone.
    void dismissIfTransient();

    // Shows what the display tells from now on, and sends it the panel's buttons and badge taps.
    void observe(DictationDisplay& display);

    // The panel window, once something was shown; for inspection.
    QWidget* panel() const;
    bool isTransient() const { return transient_; }
    // The whole title, also when the label shows it shortened.
    const QString& title() const { return title_; }
    // What showLiveText shows now.
    const QString& liveText() const { return liveText_; }

    // The panel's line while recording: "1:15 · ⏎ готово · Esc отмена" (in a Wayland session the commands); with a
    // profile note, "1:15 · → Терминал", the buttons still there to finish and cancel.
    static QString timerText(qint64 elapsedSeconds, const QString& profileNote = {});

signals:
    // The «Готово» button was pressed.
    void doneClicked();
    // ✕ was pressed while recording.
    void cancelClicked();

private:
    void ensurePanel();
    // The dot and «Готово» of a recording, or the spinner, or neither (a message); resets the badge.
    void showState(bool recording, bool spinning);
    void setTexts(const QString& title, const QString& subtitle);
    void setLiveText(const QString& text);
    void hideNow();
    void cancelTapped();
    void panelClicked(const QPoint& position);

    QPointer<HUDPanel> panel_;
    DelayedCall hideWork_;
    QTimer clock_;
    QElapsedTimer recordingStart_;
    QString title_;
    QString liveText_;
    QString profileNote_;
    std::function<void()> badgeTap_;
    bool badgeClickable_ = false;
    bool transient_ = false;
};
