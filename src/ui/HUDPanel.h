#pragma once

#include <QRect>
#include <QWidget>

#include <functional>

class LiveTextView;
class QLabel;
class QPushButton;
class QToolButton;
class QVariantAnimation;

// The window of the dictation panel: a dark rounded rectangle near the bottom of the screen holding the
// recording dot or a spinner, a title and a subtitle, «Готово» and ✕. It paints and lays out what OverlayHUD
// tells it to show and never takes the keyboard focus. Main thread.
class HUDPanel : public QWidget
{
public:
    static constexpr int width = 356;
    static constexpr int height = 64;
    // Below the header, while the words of a recording under way are shown: two lines of them.
    static constexpr int liveTextHeight = 50;
    static constexpr int bottomOffset = 110;
    static constexpr int fadeMs = 180;
    static constexpr int pulseHalfPeriodMs = 550;
    // How far around the ✕ button a click on the panel still counts as aimed at it.
    static constexpr int cancelHitMargin = 6;

    HUDPanel();

    // Where the panel goes on a screen with this usable area: centred, 110 px above its bottom; with live text it
    // grows downwards, so that nothing in the header moves.
    static QRect frameFor(const QRect& availableGeometry, bool withLiveText = false);

    // «Готово», ✕, and a click anywhere else on the panel.
    std::function<void()> onDone;
    std::function<void()> onCancel;
    std::function<void(const QPoint&)> onClick;

    // The pulsing red dot, or nothing, in the place of the spinner.
    void showDot(bool shown);
    // 1 is the dot's resting size.
    void setDotScale(double scale);
    void setSpinning(bool spinning);
    void setButtons(bool done, bool cancel);
    // Clicks pass through to the window below while the panel does not accept them.
    void setAcceptsMouse(bool accepts);
    void setTexts(const QString& title, const QString& subtitle);
    void setSubtitle(const QString& subtitle);
    // The words recognized so far below the header, the last two lines of them, those new since the last call
    // marked; empty hides them.
    void setLiveText(const QString& text);
    bool isOnCancel(const QPoint& position) const;
    // Shows the panel fully opaque on the primary screen, above every other window.
    void present();
    // Fades a visible panel out, unless it is fading already.
    void fadeOut();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    class Dot;
    class Spinner;

    void stopPulse();
    void layoutTexts();
    // Sizes the window and its rounded shape, and places it on the primary screen.
    void place();

    Dot* dot_ = nullptr;
    Spinner* spinner_ = nullptr;
    LiveTextView* liveText_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* subLabel_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    QToolButton* cancelButton_ = nullptr;
    QVariantAnimation* pulse_ = nullptr;
    QVariantAnimation* fade_ = nullptr;
    QString title_;
    QString subtitle_;
};
