#pragma once

#include "core/DelayedCall.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QToolButton;
class QVariantAnimation;
class QWidget;

// The small floating panel near the bottom of the screen that shows what the dictation is doing: a pulsing
// red dot and the elapsed time while recording, a spinner while recognizing, short transient messages, and
// a clickable badge. It never takes the keyboard focus. Every public call may come from any thread: it is
// posted to the main thread and returns at once.
class OverlayHUD : public QObject
{
    Q_OBJECT

public:
    static constexpr int width = 356;
    static constexpr int height = 64;
    static constexpr int bottomOffset = 110;
    static constexpr int flashMs = 1600;
    static constexpr int fadeMs = 180;
    static constexpr int pulseHalfPeriodMs = 550;
    // How far around the ✕ button a click on the badge still counts as aimed at it.
    static constexpr int cancelHitMargin = 6;

    explicit OverlayHUD(QObject* parent = nullptr);
    ~OverlayHUD() override;

    // Where the panel goes on a screen with this usable area: centred, 110 px above its bottom.
    static QRect frameFor(const QRect& availableGeometry);

    void showRecording();
    void updateTimer(const QString& text);
    // 0…1; grows the dot up to 1.9 times its size. Ignored while the panel is hidden.
    void updateLevel(float level);
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

    // The «Готово» button was pressed.
    std::function<void()> onDone;
    // ✕ was pressed while recording.
    std::function<void()> onCancelClick;

    // The panel window, once something was shown; for inspection.
    QWidget* panel() const;
    bool isTransient() const { return transient_; }
    // The whole title, also when the label shows it shortened.
    const QString& title() const { return title_; }

private:
    void ensurePanel();
    void present();
    void setButtons(bool visible);
    void setAcceptsMouse(bool accepts);
    void startPulse();
    void stopPulse();
    void setSpinning(bool spinning);
    void setTexts(const QString& title, const QString& subtitle);
    void layoutTexts();
    void hideNow();
    void doneTapped();
    void cancelTapped();
    void panelClicked(const QPoint& position);

    class Panel;
    class Dot;
    class Spinner;

    QPointer<Panel> panel_;
    Dot* dot_ = nullptr;
    Spinner* spinner_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* subLabel_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    QToolButton* cancelButton_ = nullptr;
    QVariantAnimation* pulse_ = nullptr;
    QVariantAnimation* fade_ = nullptr;
    DelayedCall hideWork_;
    QString title_;
    QString subtitle_;
    std::function<void()> badgeTap_;
    bool badgeClickable_ = false;
    bool transient_ = false;
};
