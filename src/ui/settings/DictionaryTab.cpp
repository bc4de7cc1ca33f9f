#include "ui/settings/DictionaryTab.h"

#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "dictation/HotkeyManager.h"
#include "platform/TextFieldWatch.h"
#include "text/Corrections.h"
#include "ui/NoteLabel.h"
#include "ui/settings/SettingsWidgets.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace
{

QTableWidget* dictionaryTable(QWidget* parent)
{
    auto* table = new QTableWidget(0, 2, parent);
    table->setObjectName(QStringLiteral("dictTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Распознаётся"), QStringLiteral("Правильно")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return table;
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QLineEdit* pairField(QWidget* parent, const char* name)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setMinimumWidth(260);
    return field;
}

} // namespace

DictionaryTab::DictionaryTab(QWidget* parent) : QWidget(parent)
{
    using namespace SettingsWidgets;
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(QStringLiteral("Пары «как распознаётся → как правильно». Правильные написания попадают в подсказку "
                                  "модели."),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    table_ = dictionaryTable(this);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    auto* addButton = button(this, "addPairBtn", QStringLiteral("+ Добавить пару…"));
    auto* removeButton = button(this, "removePairBtn", QStringLiteral("− Удалить выбранную"));
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(
        NoteLabel::make(this, QStringLiteral("Быстрое обучение: выделите слово в любом приложении и нажмите %1.")
                                  .arg(HotkeyManager::title(HotkeyManager::learnCombination))));
    learnCheck_ = check(this, "learnFromFixesCheck", QStringLiteral("Учиться на моих исправлениях"));
    layout->addWidget(learnCheck_);
    layout->addWidget(NoteLabel::make(
        this, QStringLiteral("Исправите слово во вставленном тексте — Толван предложит запомнить пару. Текст не "
                             "сохраняется и никуда не отправляется, в словарь попадают только принятые пары; пароли "
                             "и терминалы не читаются. Нужны программы, открытые шине специальных возможностей "
                             "(GTK; Qt, LibreOffice и Firefox — с включёнными специальными возможностями); в остальных "
                             "исправьте текст в меню: История → «Исправить в истории…».")));

    connect(learnCheck_, &QCheckBox::toggled, this, [](bool on) {
        SettingsStore::shared().setBool(SettingsKey::learnFromCorrections, on);
        TextFieldWatch::shared().setEnabled(on);
    });
    connect(addButton, &QPushButton::clicked, this, &DictionaryTab::addPair);
    connect(removeButton, &QPushButton::clicked, this, &DictionaryTab::removePair);
}

void DictionaryTab::refresh()
{
    const QSignalBlocker keepWatch(learnCheck_);
    learnCheck_->setChecked(SettingsStore::shared().boolForKey(SettingsKey::learnFromCorrections));
    const std::optional<Pair> selected = selectedPair();
    pairs_.clear();
    for (const CorrectionPair& pair : Corrections::load())
        pairs_.emplace_back(pair.wrong, pair.right);
    std::sort(pairs_.begin(), pairs_.end());

    const QSignalBlocker quiet(table_);
    table_->clearContents();
    table_->setRowCount(static_cast<int>(pairs_.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const Pair& pair = pairs_[static_cast<size_t>(row)];
        table_->setItem(row, 0, cell(pair.first));
        table_->setItem(row, 1, cell(pair.second));
        if (selected && pair.first == selected->first)
            table_->selectRow(row);
    }
}

void DictionaryTab::addPair()
{
    const std::optional<Pair> pair = askForPair();
    if (!pair)
        return;
    if (!pair->first.isEmpty() && !pair->second.isEmpty()) {
        Corrections::add(pair->first, pair->second);
        if (restartEngine)
            restartEngine();
    }
    reportChange();
}

void DictionaryTab::removePair()
{
    const std::optional<Pair> selected = selectedPair();
    if (!selected)
        return;
    const Pair pair = *selected;
    const int answer =
        AlertPresenter::shared().present({QStringLiteral("Забыть пару «%1» → «%2»?").arg(pair.first, pair.second),
                                          QString(),
                                          {QStringLiteral("Забыть"), QStringLiteral("Отмена")}});
    if (answer != 0)
        return;
    Corrections::remove(pair.first);
    if (restartEngine)
        restartEngine();
    reportChange();
}

std::optional<DictionaryTab::Pair> DictionaryTab::selectedPair() const
{
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    if (ranges.isEmpty() || static_cast<size_t>(ranges.first().topRow()) >= pairs_.size())
        return std::nullopt;
    return pairs_[static_cast<size_t>(ranges.first().topRow())];
}

std::optional<DictionaryTab::Pair> DictionaryTab::askForPair()
{
    QDialog dialog(window());
    dialog.setObjectName(QStringLiteral("pairDialog"));
    dialog.setWindowTitle(QStringLiteral("Новая пара словаря"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* title = new QLabel(QStringLiteral("Новая пара словаря"), &dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("Обе формы — в именительном падеже."), &dialog));
    auto* form = new QFormLayout;
    QLineEdit* wrongField = pairField(&dialog, "wrongField");
    QLineEdit* rightField = pairField(&dialog, "rightField");
    form->addRow(QStringLiteral("Распознаётся:"), wrongField);
    form->addRow(QStringLiteral("Правильно:"), rightField);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* learn = buttons->addButton(QStringLiteral("Выучить"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    learn->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Pair{wrongField->text().trimmed(), rightField->text().trimmed()};
}

void DictionaryTab::reportChange()
{
    if (changed)
        changed();
    else
        refresh();
}
