#include "dictation/OverlayHUD.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "dictation/DictationController.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace
{

constexpr int cornerRadius = 16;
constexpr int dotDiameter = 14;
constexpr float maximumDotGrowth = 0.9F;
constexpr double pulseLowOpacity = 0.35;
const QColor background(28, 28, 30, 242);
const QColor recordingRed(255, 59, 48);

QFont font(int pixelSize, QFont::Weight weight)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

// Texts too long for their line end with "…".
void setElidedText(QLabel* label, const QString& text)
{
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width()));
}

} // namespace

// The window: a dark rounded rectangle that reports clicks on itself.
class OverlayHUD::Panel : public QWidget
{
public:
    Panel()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("OverlayHUD"));
        setWindowTitle(QStringLiteral("Толван"));
        setFixedSize(OverlayHUD::width, OverlayHUD::height);
        QBitmap shape(size());
        shape.fill(Qt::color0);
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::color1);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(rect(), cornerRadius, cornerRadius);
        painter.end();
        setMask(shape);
    }

    std::function<void(const QPoint&)> onClick;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(background);
        painter.drawRoundedRect(rect(), cornerRadius, cornerRadius);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
            onClick(event->position().toPoint());
    }
};

// The red recording dot; it grows with the level and its opacity pulses. The widget leaves room for the
// dot at its largest.
class OverlayHUD::Dot : public QWidget
{
public:
    explicit Dot(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("dot"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setScale(1.0);
    }

    void setScale(double scale)
    {
        scale_ = scale;
        setProperty("levelScale", scale);
        update();
    }

    void setOpacity(double opacity)
    {
        opacity_ = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(opacity_);
        painter.setPen(Qt::NoPen);
        painter.setBrush(recordingRed);
        const double radius = dotDiameter * scale_ / 2.0;
        painter.drawEllipse(QRectF(rect()).center(), radius, radius);
    }

private:
    double scale_ = 1.0;
    double opacity_ = 1.0;
};

// A spinning wheel of twelve spokes.
class OverlayHUD::Spinner : public QWidget
{
public:
    explicit Spinner(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("spinner"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % spokes;
            update();
        });
    }

    void setSpinning(bool spinning)
    {
        setVisible(spinning);
        if (spinning)
            timer_.start();
        else
            timer_.stop();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(QRectF(rect()).center());
        const double outer = std::min(width(), height()) / 2.0;
        for (int spoke = 0; spoke < spokes; ++spoke) {
            const int age = (step_ - spoke + spokes) % spokes;
            QColor color(235, 235, 240);
            color.setAlphaF(1.0 - 0.8 * age / spokes);
            painter.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -outer * 0.45), QPointF(0, -outer * 0.95));
            painter.rotate(360.0 / spokes);
        }
    }

private:
    static constexpr int spokes = 12;
    QTimer timer_;
    int step_ = 0;
};

OverlayHUD::OverlayHUD(QObject* parent) : QObject(parent) {}

OverlayHUD::~OverlayHUD()
{
    delete panel_;
}

QRect OverlayHUD::frameFor(const QRect& availableGeometry)
{
    const int x = availableGeometry.x() + availableGeometry.width() / 2 - width / 2;
    const int y = availableGeometry.y() + availableGeometry.height() - bottomOffset - height;
    return QRect(x, y, width, height);
}

QWidget* OverlayHUD::panel() const
{
    return panel_;
}

void OverlayHUD::ensurePanel()
{
    if (panel_)
        return;
    panel_ = new Panel;
    panel_->onClick = [this](const QPoint& position) { panelClicked(position); };

    // The dot's centre is that of a 14 × 14 dot at (22, 25).
    dot_ = new Dot(panel_);
    dot_->setGeometry(15, 18, 28, 28);
    spinner_ = new Spinner(panel_);
    spinner_->setGeometry(20, 23, 18, 18);
    spinner_->setSpinning(false);

    titleLabel_ = new QLabel(panel_);
    titleLabel_->setObjectName(QStringLiteral("title"));
    titleLabel_->setFont(font(14, QFont::DemiBold));
    titleLabel_->setStyleSheet(QStringLiteral("color: rgb(245, 245, 247);"));
    titleLabel_->setGeometry(48, 12, 192, 20);
    subLabel_ = new QLabel(panel_);
    subLabel_->setObjectName(QStringLiteral("subtitle"));
    subLabel_->setFont(font(11, QFont::Normal));
    subLabel_->setStyleSheet(QStringLiteral("color: rgb(160, 160, 166);"));
    subLabel_->setGeometry(48, 36, 192, 16);

    doneButton_ = new QPushButton(QStringLiteral("Готово"), panel_);
    doneButton_->setObjectName(QStringLiteral("done"));
    doneButton_->setFont(font(11, QFont::DemiBold));
    doneButton_->setFocusPolicy(Qt::NoFocus);
    doneButton_->setGeometry(246, 20, 74, 24);
    doneButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(72, 72, 78); border: none; border-radius: 12px; }"
                       "QPushButton:pressed { background: rgb(96, 96, 104); }"));
    QObject::connect(doneButton_, &QPushButton::clicked, this, [this] { doneTapped(); });

    cancelButton_ = new QToolButton(panel_);
    cancelButton_->setObjectName(QStringLiteral("cancel"));
    cancelButton_->setText(QStringLiteral("✕"));
    cancelButton_->setAccessibleName(QStringLiteral("Отменить"));
    cancelButton_->setToolTip(QStringLiteral("Отменить"));
    cancelButton_->setFocusPolicy(Qt::NoFocus);
    cancelButton_->setAutoRaise(true);
    cancelButton_->setGeometry(326, 23, 20, 18);
    cancelButton_->setStyleSheet(QStringLiteral("QToolButton { color: rgb(130, 130, 138); border: none; }"));
    QObject::connect(cancelButton_, &QToolButton::clicked, this, [this] { cancelTapped(); });

    pulse_ = new QVariantAnimation(this);
    pulse_->setDuration(2 * pulseHalfPeriodMs);
    pulse_->setKeyValueAt(0.0, 1.0);
    pulse_->setKeyValueAt(0.5, pulseLowOpacity);
    pulse_->setKeyValueAt(1.0, 1.0);
    pulse_->setLoopCount(-1);
    QObject::connect(pulse_, &QVariantAnimation::valueChanged, this,
                     [this](const QVariant& value) { dot_->setOpacity(value.toDouble()); });

    fade_ = new QVariantAnimation(this);
    fade_->setDuration(fadeMs);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    QObject::connect(fade_, &QVariantAnimation::valueChanged, this,
                     [this](const QVariant& value) { panel_->setWindowOpacity(value.toDouble()); });
    QObject::connect(fade_, &QVariantAnimation::finished, this, [this] {
        panel_->hide();
        setSpinning(false);
    });

    // A native window exists from now on, so that its input shape can be changed before it is shown.
    panel_->winId();
}

void OverlayHUD::present()
{
    fade_->stop();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen)
        panel_->setGeometry(frameFor(screen->availableGeometry()));
    panel_->setWindowOpacity(1.0);
    panel_->show();
    panel_->raise();
}

void OverlayHUD::setAcceptsMouse(bool accepts)
{
    panel_->windowHandle()->setFlag(Qt::WindowTransparentForInput, !accepts);
}

void OverlayHUD::setButtons(bool visible)
{
    doneButton_->setVisible(visible);
    cancelButton_->setVisible(visible);
    transient_ = false;
    badgeTap_ = nullptr;
    badgeClickable_ = false;
    setAcceptsMouse(visible);
}

void OverlayHUD::startPulse()
{
    pulse_->start();
}

void OverlayHUD::stopPulse()
{
    pulse_->stop();
    dot_->setOpacity(1.0);
    dot_->setScale(1.0);
}

void OverlayHUD::setSpinning(bool spinning)
{
    spinner_->setSpinning(spinning);
}

void OverlayHUD::setTexts(const QString& title, const QString& subtitle)
{
    title_ = title;
    subtitle_ = subtitle;
    layoutTexts();
}

void OverlayHUD::layoutTexts()
{
    // Without «Готово» the lines may run on up to the ✕ button, or to the edge without it.
    const int right = !doneButton_->isHidden() ? 240 : !cancelButton_->isHidden() ? 320 : width - 16;
    titleLabel_->setGeometry(48, 12, right - 48, 20);
    subLabel_->setGeometry(48, 36, right - 48, 16);
    setElidedText(titleLabel_, title_);
    setElidedText(subLabel_, subtitle_);
    subLabel_->setVisible(!subtitle_.isEmpty());
}

void OverlayHUD::showRecording()
{
    MainThread::post(this, [this] {
        ensurePanel();
        hideWork_.cancel();
        dot_->show();
        setSpinning(false);
        setButtons(true);
        setTexts(QStringLiteral("Говорите…"), DictationController::timerText(0));
        startPulse();
        present();
    });
}

void OverlayHUD::updateTimer(const QString& text)
{
    MainThread::post(this, [this, text] {
        ensurePanel();
        subtitle_ = text;
        layoutTexts();
    });
}

void OverlayHUD::updateLevel(float level)
{
    MainThread::post(this, [this, level] {
        if (!panel_ || !panel_->isVisible())
            return;
        const double scale = level >= 0 ? 1.0 + std::min(level, 1.0F) * maximumDotGrowth : 1.0;
        dot_->setScale(scale);
    });
}

void OverlayHUD::showProcessing(const QString& text)
{
    MainThread::post(this, [this, text] {
        ensurePanel();
        hideWork_.cancel();
        stopPulse();
        dot_->hide();
        setSpinning(true);
        setButtons(false);
        setTexts(text, QString());
        present();
    });
}

void OverlayHUD::flash(const QString& text)
{
    Log::info(QStringLiteral("Панель: «%1»").arg(text));
    MainThread::post(this, [this, text] {
        ensurePanel();
        stopPulse();
        dot_->hide();
        setSpinning(false);
        setButtons(false);
        transient_ = true;
        cancelButton_->show();
        setAcceptsMouse(true);
        setTexts(text, QString());
        present();
        hideWork_.schedule(flashMs, [this] { hideNow(); });
    });
}

void OverlayHUD::showTappableBadge(const QString& title, const QString& hint, double durationSeconds,
                                   std::function<void()> onTap)
{
    MainThread::post(this, [this, title, hint, durationSeconds, onTap = std::move(onTap)] {
        ensurePanel();
        hideWork_.cancel();
        stopPulse();
        dot_->hide();
        setSpinning(false);
        doneButton_->hide();
        cancelButton_->show();
        transient_ = true;
        setTexts(title, hint);
        badgeTap_ = onTap;
        badgeClickable_ = true;
        setAcceptsMouse(true);
        present();
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
    transient_ = false;
    badgeTap_ = nullptr;
    badgeClickable_ = false;
    if (panel_ && panel_->isVisible() && fade_->state() != QAbstractAnimation::Running) {
        stopPulse();
        fade_->start();
    }
}

void OverlayHUD::dismissIfTransient()
{
    MainThread::post(this, [this] {
        if (transient_ && panel_ && panel_->isVisible())
            hideNow();
    });
}

void OverlayHUD::doneTapped()
{
    if (onDone)
        onDone();
}

void OverlayHUD::cancelTapped()
{
    if (transient_)
        hideNow();
    else if (onCancelClick)
        onCancelClick();
}

void OverlayHUD::panelClicked(const QPoint& position)
{
    if (!badgeClickable_)
        return;
    const QRect cancelArea =
        cancelButton_->geometry().adjusted(-cancelHitMargin, -cancelHitMargin, cancelHitMargin, cancelHitMargin);
    if (cancelButton_->isVisible() && cancelArea.contains(position)) {
        hideNow();
        return;
    }
    const std::function<void()> tap = std::move(badgeTap_);
    hideNow();
    if (tap)
        tap();
}
