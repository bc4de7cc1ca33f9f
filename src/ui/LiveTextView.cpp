#include "ui/LiveTextView.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace
{

const QColor olderWords(160, 160, 166);
const QColor newestWords(245, 245, 247);

// Where the words that differ from `before` begin in `after`: at the start of the first word that changed.
qsizetype firstNewWord(const QString& before, const QString& after)
{
    qsizetype same = 0;
    while (same < before.size() && same < after.size() && before.at(same) == after.at(same))
        ++same;
    if (same == after.size() || after.at(same).isSpace())
        return same;
    while (same > 0 && !after.at(same - 1).isSpace())
        --same;
    return same;
}

} // namespace

LiveTextView::LiveTextView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("liveText"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont font;
    font.setPixelSize(13);
    setFont(font);
}

int LiveTextView::heightFor(const QFont& font)
{
    return lines * QFontMetrics(font).lineSpacing();
}

void LiveTextView::setText(const QString& text)
{
    // A layout breaks lines only at its own separator.
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    newFrom_ = firstNewWord(text_, shown);
    text_ = shown;
    setAccessibleName(text);
    update();
}

void LiveTextView::paintEvent(QPaintEvent*)
{
    QTextLayout layout(text_, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QTextCharFormat newest;
    newest.setForeground(newestWords);
    layout.setFormats({QTextLayout::FormatRange{int(newFrom_), int(text_.size() - newFrom_), newest}});
    layout.beginLayout();
    for (double y = 0;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    if (layout.lineCount() == 0)
        return;
    const int first = std::max(layout.lineCount() - lines, 0);
    QPainter painter(this);
    painter.setPen(olderWords);
    layout.draw(&painter, QPointF(0, -layout.lineAt(first).y()));
}
