#pragma once

#include <QString>
#include <QWidget>

// The words of a recording under way recognized so far, in the dictation panel: their last two lines, older ones
// scrolled away above, the words new since the last text brighter. Its accessible name is the whole text, for
// screen readers. Main thread.
class LiveTextView : public QWidget
{
public:
    static constexpr int lines = 2;

    explicit LiveTextView(QWidget* parent);

    // The height of its lines in this font.
    static int heightFor(const QFont& font);

    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    qsizetype newFrom_ = 0;
};
