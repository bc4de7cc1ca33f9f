#include "ui/NoteLabel.h"

#include <QLabel>

namespace NoteLabel
{

QLabel* make(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    // A desktop may give its font in pixels, and then the point size is unknown.
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.9);
    else
        font.setPixelSize(qMax(1, font.pixelSize() * 9 / 10));
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

} // namespace NoteLabel
