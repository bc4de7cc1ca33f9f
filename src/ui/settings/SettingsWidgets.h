#pragma once

#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

// The building blocks the tabs of the settings window share.
namespace SettingsWidgets
{
QCheckBox* check(QWidget* parent, const char* name, const QString& title);
QComboBox* popup(QWidget* parent, const char* name, const QStringList& titles);
QPushButton* button(QWidget* parent, const char* name, const QString& title);
// "Title:" followed by the control, the rest of the row left empty.
QHBoxLayout* labelledRow(QWidget* parent, const QString& title, QWidget* control);
} // namespace SettingsWidgets
