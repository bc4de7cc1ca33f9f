#include "app/SettingsWidgets.h"

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

QLabel* note(QWidget* parent, const QString& text)
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
