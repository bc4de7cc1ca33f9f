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

// Panels may be light or dark: a dark glyph with a light halo reads on both.
QPixmap microphone(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    drawMicrophone(painter, QColor(255, 255, 255, 200), 6);
    drawMicrophone(painter, QColor(0x30, 0x30, 0x30), 0);
    return pixmap;
}

} // namespace

namespace StatusIcon
{

QIcon idle()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(microphone(size));
    return icon;
}

} // namespace StatusIcon
