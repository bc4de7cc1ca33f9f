#pragma once

class QLabel;
class QString;
class QWidget;

// The small grey explanation under a setting or a form: plain text, wrapped, a tenth smaller than the window's font.
namespace NoteLabel
{
QLabel* make(QWidget* parent, const QString& text);
} // namespace NoteLabel
