#include "app/MessageBoxAlertPresenter.h"

#include "core/Log.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace
{

// The share of the screen's height a box may take.
constexpr double screenShare = 0.85;

// A text taller than the screen (a long help at 200 %) scrolls inside the box, so that its button stays in reach.
void fitToScreen(QMessageBox& box)
{
    const QScreen* screen = box.screen();
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!screen || !label || !grid)
        return;
    const int allowed = static_cast<int>(screen->availableGeometry().height() * screenShare);
    const int excess = box.sizeHint().height() - allowed;
    if (excess <= 0)
        return;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
    auto* scroll = new QScrollArea(&box);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int width = label->sizeHint().width();
    scroll->setFixedHeight(std::max(label->sizeHint().height() - excess, label->fontMetrics().height() * 4));
    grid->removeWidget(label);
    scroll->setWidget(label);
    scroll->setMinimumWidth(width + scroll->verticalScrollBar()->sizeHint().width());
    grid->addWidget(scroll, row, column, rowSpan, columnSpan);
}

} // namespace

int MessageBoxAlertPresenter::present(const Alert& alert)
{
    QMessageBox box;
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setIcon(QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    // Alerts name files, models and programs: a name with markup in it is shown, never turned into links.
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QList<QAbstractButton*> buttons;
    for (const QString& title : alert.buttons)
        buttons.append(box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::ActionRole));
    if (!buttons.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    if (buttons.size() == 1)
        box.setEscapeButton(buttons.first());
    Log::info(QStringLiteral("Окно: «%1»").arg(alert.message));
    fitToScreen(box);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}
