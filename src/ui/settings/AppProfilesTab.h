#pragma once

#include "text/WindowProfiles.h"

#include <QString>
#include <QWidget>

#include <vector>

class QComboBox;
class QMenu;
class QPushButton;
class QTableWidget;

// The tab «Приложения» of the settings window: which profile the text for each program gets. The user's rules
// (program → profile) above the built-in ones, a program added from the windows open now or the last paste
// targets, and the profile of every other program.
class AppProfilesTab : public QWidget
{
    Q_OBJECT

public:
    // A program «Добавить программу…» offers, by a name the user can read.
    struct Offer
    {
        QString program;
        QString title;
    };

    explicit AppProfilesTab(QWidget* parent = nullptr);

    void refresh();
    // The windows open now (not Tolvan's), then the programs the last texts went to; each program once, none that has a
    // rule.
    std::vector<Offer> offers() const;

private:
    void showAddMenu();
    void addProgram(const QString& program);
    void askForProgram();
    void removeSelected();
    void setProfile(int row, int index);
    void store();

    QTableWidget* table_ = nullptr;
    QComboBox* defaultProfile_ = nullptr;
    QPushButton* addButton_ = nullptr;
    std::vector<WindowProfiles::Rule> rules_;
};
