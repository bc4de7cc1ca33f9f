#include "ui/settings/SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace SettingsWidgets
{

QCheckBox* check(QWidget* parent, const char* name, const QString& title)
{
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QComboBox* popup(QWidget* parent, const char* name, const QStringList& titles)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->addItems(titles);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

QPushButton* button(QWidget* parent, const char* name, const QString& title)
{
    auto* result = new QPushButton(title, parent);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

QHBoxLayout* labelledRow(QWidget* parent, const QString& title, QWidget* control)
{
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(title, parent);
    label->setBuddy(control);
    row->addWidget(label);
    row->addWidget(control);
    row->addStretch(1);
    return row;
}

} // namespace SettingsWidgets
