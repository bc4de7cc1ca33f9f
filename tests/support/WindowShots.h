#pragma once

#include "ui/Glyphs.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTableWidget>
#include <QWidget>

#include <gtest/gtest.h>

// Looks at a window as a person would: every visible title fits its control, and a picture of it goes to the
// build tree's screenshots folder ("<name>.png", or "<name>@2x.png" at a scale factor of 2).
namespace WindowShots
{

// A push button's size hint has a minimum width of its own: only its title must fit inside its frame.
inline int needed(const QAbstractButton* button)
{
    const auto* push = qobject_cast<const QPushButton*>(button);
    if (!push)
        return button->sizeHint().width();
    QStyleOptionButton option;
    option.initFrom(push);
    option.text = push->text();
    const int frame =
        push->width() - push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push).width();
    return push->fontMetrics().horizontalAdvance(push->text()) + frame;
}

// Every character of the text has a glyph in some installed font: none shows as an empty box.
inline void expectDrawable(const QString& text)
{
    for (const char32_t character : text.toUcs4()) {
        EXPECT_TRUE(Glyphs::covered(character))
            << "U+" << QString::number(character, 16).toStdString() << " in " << text.toStdString();
    }
}

inline void expectTextsFit(const QWidget* window)
{
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->isVisible() && !button->text().isEmpty()) {
            EXPECT_LE(needed(button), button->width()) << button->text().toStdString();
            expectDrawable(button->text());
        }
    }
    for (const QComboBox* box : window->findChildren<QComboBox*>()) {
        if (box->isVisible()) {
            EXPECT_LE(box->minimumSizeHint().width(), box->width()) << box->currentText().toStdString();
            for (int index = 0; index < box->count(); ++index)
                expectDrawable(box->itemText(index));
        }
    }
    for (const QTabBar* bar : window->findChildren<QTabBar*>()) {
        if (bar->isVisible() && bar->count() > 0) {
            EXPECT_LE(bar->tabRect(bar->count() - 1).right(), bar->width()) << "the last tab is cut";
        }
    }
    for (const QTableWidget* table : window->findChildren<QTableWidget*>()) {
        if (!table->isVisible())
            continue;
        // An item view's text keeps a focus frame's margin and a pixel on each side.
        const int margin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
        for (int row = 0; row < table->rowCount(); ++row) {
            for (int column = 0; column < table->columnCount(); ++column) {
                const QTableWidgetItem* item = table->item(row, column);
                if (!item)
                    continue;
                expectDrawable(item->text());
                EXPECT_LE(table->fontMetrics().horizontalAdvance(item->text()) + margin, table->columnWidth(column))
                    << item->text().toStdString();
            }
        }
    }
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisible())
            continue;
        expectDrawable(label->text());
        if (label->wordWrap()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
        } else {
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        }
    }
}

inline void save(QWidget* window, const QString& name)
{
    const QPixmap image = window->grab();
    const QString scale =
        image.devicePixelRatio() > 1 ? QStringLiteral("@%1x").arg(image.devicePixelRatio()) : QString();
    QDir().mkpath(QStringLiteral(TOLVAN_SCREENSHOT_DIR));
    EXPECT_TRUE(image.save(QStringLiteral(TOLVAN_SCREENSHOT_DIR "/%1%2.png").arg(name, scale)));
}

} // namespace WindowShots
