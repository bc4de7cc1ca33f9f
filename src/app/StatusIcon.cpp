#include "app/StatusIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{

// A microphone on a 64 × 64 grid: a capsule, the holder's arc, the stem and the foot.
void drawMicrophone(QPainter& painter, const QColor& colour, qreal extraWidth)
{
    painter.setPen(QPen(colour, 1 + extraWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(22, 4, 20, 34), 10, 10);

    painter.setPen(QPen(colour, 5 + extraWidth, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    QPainterPath holder;
    holder.arcMoveTo(QRectF(13, 14, 38, 36), 180);
    holder.arcTo(QRectF(13, 14, 38, 36), 180, 180);
    painter.drawPath(holder);
    painter.drawLine(QPointF(32, 50), QPointF(32, 58));
    painter.drawLine(QPointF(22, 59), QPointF(42, 59));
}

// A filled disc on a light halo.
void drawDisc(QPainter& painter, const QColor& colour)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawEllipse(QRectF(1, 1, 62, 62));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(5, 5, 54, 54));
}

void drawRecording(QPainter& painter)
{
    drawDisc(painter, QColor(0xE5, 0x2B, 0x2B));
    painter.setPen(QPen(Qt::white, 5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(16, 16, 32, 32));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(24, 24, 16, 16));
}

void drawTranscribing(QPainter& painter)
{
    drawDisc(painter, QColor(0x8E, 0x44, 0xD6));
    painter.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
    const qreal heights[] = {10, 22, 32, 22, 10};
    for (int bar = 0; bar < 5; ++bar) {
        const qreal x = 16 + bar * 8;
        painter.drawLine(QPointF(x, 32 - heights[bar] / 2), QPointF(x, 32 + heights[bar] / 2));
    }
}

// Panels may be light or dark: a dark glyph with a light halo reads on both.
void drawIdle(QPainter& painter)
{
    drawMicrophone(painter, QColor(255, 255, 255, 200), 6);
    drawMicrophone(painter, QColor(0x30, 0x30, 0x30), 0);
}

QIcon iconOf(void (*draw)(QPainter&))
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

namespace StatusIcon
{

QIcon idle()
{
    return iconOf(drawIdle);
}

QIcon recording()
{
    return iconOf(drawRecording);
}

QIcon transcribing()
{
    return iconOf(drawTranscribing);
}

} // namespace StatusIcon
