#include "ui/settings/AppProfilesTab.h"

#include "platform/ActiveWindow.h"
#include "ui/NoteLabel.h"
#include "ui/settings/SettingsWidgets.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace
{

constexpr int longestWindowTitle = 40;

QStringList profileTitles()
{
    QStringList titles;
    for (const TextProfile profile : TextProfiles::all)
        titles << TextProfiles::title(profile);
    return titles;
}

QTableWidget* rulesTable(QWidget* parent)
{
    auto* table = new QTableWidget(0, 2, parent);
    table->setObjectName(QStringLiteral("appProfilesTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Программа"), QStringLiteral("Профиль")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return table;
}

QString elided(const QString& title)
{
    return title.size() > longestWindowTitle ? title.left(longestWindowTitle - 1) + u'…' : title;
}

} // namespace

AppProfilesTab::AppProfilesTab(QWidget* parent) : QWidget(parent)
{
    using namespace SettingsWidgets;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NoteLabel::make(
        this, QStringLiteral("Текст оформляется по программе, в которую он вставляется. Терминалы, мессенджеры, "
                             "почта и редакторы кода узнаются сами; ваши правила важнее.")));
    table_ = rulesTable(this);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    addButton_ = button(this, "addProgramBtn", QStringLiteral("+ Добавить программу…"));
    auto* removeButton = button(this, "removeProgramBtn", QStringLiteral("− Удалить выбранную"));
    buttons->addWidget(addButton_);
    buttons->addWidget(removeButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    defaultProfile_ = popup(this, "defaultProfilePopup", profileTitles());
    layout->addLayout(labelledRow(this, QStringLiteral("Остальные программы:"), defaultProfile_));
    layout->addWidget(NoteLabel::make(
        this, QStringLiteral("«Документ» — вся типографика и точка в конце. «Переписка» — без точки в конце "
                             "сообщения из одной фразы. «Код» — прямые кавычки и дефисы, обычные пробелы. "
                             "«Терминал» — как «Код», без точки и перевода строки в конце. «Без обработки» — "
                             "только словарь и голосовые команды.")));

    connect(addButton_, &QPushButton::clicked, this, &AppProfilesTab::showAddMenu);
    connect(removeButton, &QPushButton::clicked, this, &AppProfilesTab::removeSelected);
    connect(defaultProfile_, &QComboBox::activated, this, [](int index) {
        WindowProfiles::setDefaultProfile(TextProfiles::all.at(static_cast<std::size_t>(index)));
    });
}

void AppProfilesTab::refresh()
{
    rules_ = WindowProfiles::userRules();
    defaultProfile_->setCurrentIndex(static_cast<int>(WindowProfiles::defaultProfile()));
    const QSignalBlocker quiet(table_);
    table_->clearContents();
    table_->setRowCount(static_cast<int>(rules_.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const WindowProfiles::Rule& rule = rules_[static_cast<std::size_t>(row)];
        auto* program = new QTableWidgetItem(rule.program);
        program->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table_->setItem(row, 0, program);
        QComboBox* profile = SettingsWidgets::popup(table_, "ruleProfilePopup", profileTitles());
        profile->setCurrentIndex(static_cast<int>(rule.profile));
        connect(profile, &QComboBox::activated, this, [this, row](int index) { setProfile(row, index); });
        table_->setCellWidget(row, 1, profile);
    }
}

std::vector<AppProfilesTab::Offer> AppProfilesTab::offers() const
{
    QSet<QString> seen;
    for (const WindowProfiles::Rule& rule : rules_)
        seen.insert(rule.program);
    std::vector<Offer> offers;
    const auto offer = [&](const QString& program, const QString& title) {
        if (program.isEmpty() || seen.contains(program))
            return;
        seen.insert(program);
        offers.push_back({program, title});
    };
    QSet<ActiveWindow::WindowId> ours;
    for (const QWindow* window : QGuiApplication::allWindows())
        ours.insert(window->handle() ? window->winId() : 0);
    for (const ActiveWindow::OpenWindow& window : ActiveWindow::openWindows()) {
        if (ours.contains(window.window))
            continue;
        const QString program = WindowProfiles::programOf(window.windowClass);
        offer(program, window.title.isEmpty() ? program : QStringLiteral("%1 — %2").arg(program, elided(window.title)));
    }
    for (const QString& program : WindowProfiles::recentPrograms())
        offer(program, QStringLiteral("%1 — куда недавно вставлялся текст").arg(program));
    return offers;
}

void AppProfilesTab::showAddMenu()
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("addProgramMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Offer& offer : offers()) {
        const QString program = offer.program;
        menu->addAction(offer.title, this, [this, program] { addProgram(program); });
    }
    if (!menu->isEmpty())
        menu->addSeparator();
    menu->addAction(QStringLiteral("Другая программа…"), this, &AppProfilesTab::askForProgram);
    menu->popup(addButton_->mapToGlobal(QPoint(0, addButton_->height())));
}

void AppProfilesTab::addProgram(const QString& program)
{
    const QString name = program.trimmed().toLower();
    if (name.isEmpty() || name.contains(u'='))
        return;
    const auto known = std::find_if(rules_.begin(), rules_.end(),
                                    [&](const WindowProfiles::Rule& rule) { return rule.program == name; });
    if (known == rules_.end())
        rules_.push_back({name, WindowProfiles::forWindow({name})});
    store();
    const auto added = std::find_if(rules_.begin(), rules_.end(),
                                    [&](const WindowProfiles::Rule& rule) { return rule.program == name; });
    table_->selectRow(static_cast<int>(added - rules_.begin()));
}

void AppProfilesTab::askForProgram()
{
    bool accepted = false;
    const QString program =
        QInputDialog::getText(window(), QStringLiteral("Добавить программу"),
                              QStringLiteral("Класс окна (X11) или app_id (Wayland), например «konsole»:"),
                              QLineEdit::Normal, QString(), &accepted);
    if (accepted)
        addProgram(program);
}

void AppProfilesTab::removeSelected()
{
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    if (ranges.isEmpty() || static_cast<std::size_t>(ranges.first().topRow()) >= rules_.size())
        return;
    rules_.erase(rules_.begin() + ranges.first().topRow());
    store();
}

void AppProfilesTab::setProfile(int row, int index)
{
    if (static_cast<std::size_t>(row) >= rules_.size())
        return;
    rules_[static_cast<std::size_t>(row)].profile = TextProfiles::all.at(static_cast<std::size_t>(index));
    // Not refreshed: the list that sent this would be replaced inside its own signal.
    WindowProfiles::setUserRules(rules_);
}

void AppProfilesTab::store()
{
    WindowProfiles::setUserRules(rules_);
    refresh();
}
