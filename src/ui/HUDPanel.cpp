#include "ui/HUDPanel.h"

#include "ui/LiveTextView.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>

namespace
{

constexpr int cornerRadius = 16;
constexpr int dotDiameter = 14;
constexpr double pulseLowOpacity = 0.35;
const QColor background(28, 28, 30, 242);
const QColor recordingRed(255, 59, 48);
const QColor separator(255, 255, 255, 30);
constexpr int liveTextMargin = 20;

QFont panelFont(int pixelSize, QFont::Weight weight)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

QBitmap roundedShape(QSize size)
{
    QBitmap shape(size);
    shape.fill(Qt::color0);
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::color1);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRect(QPoint(), size), cornerRadius, cornerRadius);
    return shape;
}

// Texts too long for their line end with "…".
void setElidedText(QLabel* label, const QString& text)
{
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width()));
}

} // namespace

// The red recording dot; it grows with the level and its opacity pulses. The widget leaves room for the
// dot at its largest.
class HUDPanel::Dot : public QWidget
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
class HUDPanel::Spinner : public QWidget
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

HUDPanel::HUDPanel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::X11BypassWindowManagerHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("OverlayHUD"));
    setWindowTitle(QStringLiteral("Толван"));
    setFixedSize(width, height);
    setMask(roundedShape(size()));

    // The dot's centre is that of a 14 × 14 dot at (22, 25).
    dot_ = new Dot(this);
    dot_->setGeometry(15, 18, 28, 28);
    spinner_ = new Spinner(this);
    spinner_->setGeometry(20, 23, 18, 18);
    spinner_->setSpinning(false);

    titleLabel_ = new QLabel(this);
    titleLabel_->setObjectName(QStringLiteral("title"));
    // Messages name files and models: their names are shown, never read as markup.
    titleLabel_->setTextFormat(Qt::PlainText);
    titleLabel_->setFont(panelFont(14, QFont::DemiBold));
    titleLabel_->setStyleSheet(QStringLiteral("color: rgb(245, 245, 247);"));
    titleLabel_->setGeometry(48, 12, 192, 20);
    subLabel_ = new QLabel(this);
    subLabel_->setObjectName(QStringLiteral("subtitle"));
    subLabel_->setTextFormat(Qt::PlainText);
    subLabel_->setFont(panelFont(11, QFont::Normal));
    subLabel_->setStyleSheet(QStringLiteral("color: rgb(160, 160, 166);"));
    subLabel_->setGeometry(48, 36, 192, 16);
    liveText_ = new LiveTextView(this);
    liveText_->setGeometry(liveTextMargin, height + 2, width - 2 * liveTextMargin,
                           LiveTextView::heightFor(liveText_->font()));
    liveText_->hide();

    doneButton_ = new QPushButton(QStringLiteral("Готово"), this);
    doneButton_->setObjectName(QStringLiteral("done"));
    doneButton_->setFont(panelFont(11, QFont::DemiBold));
    doneButton_->setFocusPolicy(Qt::NoFocus);
    doneButton_->setGeometry(246, 20, 74, 24);
    doneButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(72, 72, 78); border: none; border-radius: 12px; }"
                       "QPushButton:pressed { background: rgb(96, 96, 104); }"));
    connect(doneButton_, &QPushButton::clicked, this, [this] {
        if (onDone)
            onDone();
    });

    cancelButton_ = new QToolButton(this);
    cancelButton_->setObjectName(QStringLiteral("cancel"));
    cancelButton_->setText(QStringLiteral("✕"));
    cancelButton_->setAccessibleName(QStringLiteral("Отменить"));
    cancelButton_->setToolTip(QStringLiteral("Отменить"));
    cancelButton_->setFocusPolicy(Qt::NoFocus);
    cancelButton_->setAutoRaise(true);
    cancelButton_->setGeometry(326, 23, 20, 18);
    cancelButton_->setStyleSheet(QStringLiteral("QToolButton { color: rgb(130, 130, 138); border: none; }"));
    connect(cancelButton_, &QToolButton::clicked, this, [this] {
        if (onCancel)
            onCancel();
    });

    pulse_ = new QVariantAnimation(this);
    pulse_->setDuration(2 * pulseHalfPeriodMs);
    pulse_->setKeyValueAt(0.0, 1.0);
    pulse_->setKeyValueAt(0.5, pulseLowOpacity);
    pulse_->setKeyValueAt(1.0, 1.0);
    pulse_->setLoopCount(-1);
    connect(pulse_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { dot_->setOpacity(value.toDouble()); });

    fade_ = new QVariantAnimation(this);
    fade_->setDuration(fadeMs);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    connect(fade_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setWindowOpacity(value.toDouble()); });
    connect(fade_, &QVariantAnimation::finished, this, [this] {
        hide();
        setSpinning(false);
    });

    // A native window exists from now on, so that its input shape can be changed before it is shown.
    winId();
}

QRect HUDPanel::frameFor(const QRect& availableGeometry, bool withLiveText)
{
    const int x = availableGeometry.x() + availableGeometry.width() / 2 - width / 2;
    const int y = availableGeometry.y() + availableGeometry.height() - bottomOffset - height;
    return QRect(x, y, width, withLiveText ? height + liveTextHeight : height);
}

void HUDPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(rect(), cornerRadius, cornerRadius);
    if (liveText_->isHidden())
        return;
    painter.setPen(separator);
    painter.drawLine(QPointF(liveTextMargin, height - 3.5), QPointF(width - liveTextMargin, height - 3.5));
}

void HUDPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
        onClick(event->position().toPoint());
}

void HUDPanel::showDot(bool shown)
{
    if (shown) {
        dot_->show();
        pulse_->start();
        return;
    }
    stopPulse();
    dot_->hide();
}

void HUDPanel::stopPulse()
{
    pulse_->stop();
    dot_->setOpacity(1.0);
    dot_->setScale(1.0);
}

void HUDPanel::setDotScale(double scale)
{
    dot_->setScale(scale);
}

void HUDPanel::setSpinning(bool spinning)
{
    spinner_->setSpinning(spinning);
}

void HUDPanel::setButtons(bool done, bool cancel)
{
    doneButton_->setVisible(done);
    cancelButton_->setVisible(cancel);
}

void HUDPanel::setAcceptsMouse(bool accepts)
{
    windowHandle()->setFlag(Qt::WindowTransparentForInput, !accepts);
}

void HUDPanel::setTexts(const QString& title, const QString& subtitle)
{
    title_ = title;
    subtitle_ = subtitle;
    layoutTexts();
}

void HUDPanel::setSubtitle(const QString& subtitle)
{
    subtitle_ = subtitle;
    layoutTexts();
}

void HUDPanel::setLiveText(const QString& text)
{
    const bool shown = !text.isEmpty();
    liveText_->setText(text);
    if (shown == !liveText_->isHidden())
        return;
    liveText_->setVisible(shown);
    if (isVisible())
        place();
}

void HUDPanel::layoutTexts()
{
    // Without «Готово» the lines may run on up to the ✕ button, or to the edge without it; without the dot or the
    // spinner they start where those would be.
    const int right = !doneButton_->isHidden() ? 240 : !cancelButton_->isHidden() ? 320 : width - 16;
    const int left = dot_->isHidden() && spinner_->isHidden() ? 20 : 48;
    subLabel_->setGeometry(left, 36, right - left, 16);
    setElidedText(subLabel_, subtitle_);
    subLabel_->setVisible(!subtitle_.isEmpty());
    // A message alone (a flash) may take both lines rather than lose its end.
    const bool wraps = subtitle_.isEmpty() && titleLabel_->fontMetrics().horizontalAdvance(title_) > right - left;
    titleLabel_->setWordWrap(wraps);
    if (wraps) {
        titleLabel_->setGeometry(left, 6, right - left, height - 12);
        titleLabel_->setText(title_);
        return;
    }
    // A line alone sits in the middle, level with the dot and the spinner.
    titleLabel_->setGeometry(left, subtitle_.isEmpty() ? (height - 20) / 2 : 12, right - left, 20);
    setElidedText(titleLabel_, title_);
}

bool HUDPanel::isOnCancel(const QPoint& position) const
{
    const QRect area =
        cancelButton_->geometry().adjusted(-cancelHitMargin, -cancelHitMargin, cancelHitMargin, cancelHitMargin);
    return cancelButton_->isVisible() && area.contains(position);
}

void HUDPanel::present()
{
    fade_->stop();
    place();
    setWindowOpacity(1.0);
    show();
    raise();
}

void HUDPanel::place()
{
    const bool withLiveText = !liveText_->isHidden();
    setFixedSize(width, withLiveText ? height + liveTextHeight : height);
    setMask(roundedShape(size()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(frameFor(screen->availableGeometry(), withLiveText));
    update();
}

void HUDPanel::fadeOut()
{
    if (!isVisible() || fade_->state() == QAbstractAnimation::Running)
        return;
    stopPulse();
    fade_->start();
}
