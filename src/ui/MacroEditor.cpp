#include "ui/MacroEditor.h"

#include "core/AlertPresenter.h"
#include "core/SharedInstance.h"
#include "ui/NoteLabel.h"
#include "ui/WindowFront.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace
{

constexpr int windowWidth = 640;
constexpr int windowHeight = 440;
constexpr int listWidth = 240;

QLabel* caption(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QPushButton* button(QWidget* parent, const char* name, const QString& title)
{
    auto* result = new QPushButton(title, parent);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

QString hintText()
{
    return QStringLiteral("Подстановки внутри текста: {дата}, {дата_кратко}, {время} — сейчас это: ") +
           MacroStore::substitutePlaceholders(QStringLiteral("{дата} · {дата_кратко} · {время}")) +
           QStringLiteral(".\nТриггер срабатывает, только если фраза совпала целиком: «Подпись.» — да, "
                          "«поставь подпись под договором» — нет. Сохраняется автоматически.");
}

QByteArray fileContent()
{
    QFile file(MacroStore::filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QLabel* hintLabel(QWidget* parent)
{
    QLabel* label = NoteLabel::make(parent, hintText());
    label->setObjectName(QStringLiteral("hint"));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

MacroEditor& MacroEditor::shared()
{
    return sharedInstance<MacroEditor>();
}

MacroEditor::MacroEditor(QObject* parent) : QObject(parent), openUrl(QDesktopServices::openUrl) {}

MacroEditor::~MacroEditor()
{
    delete window_;
}

QWidget* MacroEditor::window() const
{
    return window_;
}

void MacroEditor::open()
{
    const bool firstOpening = !window_;
    ensureWindow();
    reload();
    if (firstOpening)
        WindowFront::centerOnScreen(window_);
    WindowFront::bringToFront(window_);
}

void MacroEditor::ensureWindow()
{
    if (window_)
        return;
    window_ = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window_->setObjectName(QStringLiteral("MacroEditor"));
    window_->setWindowTitle(QStringLiteral("Макросы"));
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->setFixedSize(windowWidth, windowHeight);

    list_ = new QListWidget(window_);
    list_->setObjectName(QStringLiteral("triggerList"));
    list_->setFixedWidth(listWidth);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setTextElideMode(Qt::ElideRight);
    auto* addButton = button(window_, "addBtn", QStringLiteral("+"));
    removeButton_ = button(window_, "removeBtn", QStringLiteral("−"));
    auto* fileButton = button(window_, "fileBtn", QStringLiteral("Файл…"));
    fileButton->setToolTip(QStringLiteral("Открыть macros.json во внешнем редакторе"));
    for (QPushButton* small : {addButton, removeButton_})
        small->setFixedWidth(38);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(addButton);
    listButtons->addWidget(removeButton_);
    listButtons->addStretch(1);
    listButtons->addWidget(fileButton);
    auto* left = new QVBoxLayout;
    left->addWidget(list_, 1);
    left->addLayout(listButtons);

    triggerField_ = new QLineEdit(window_);
    triggerField_->setObjectName(QStringLiteral("triggerField"));
    triggerField_->setPlaceholderText(QStringLiteral("например: подпись"));
    textView_ = new QPlainTextEdit(window_);
    textView_->setObjectName(QStringLiteral("textView"));
    auto* right = new QVBoxLayout;
    right->addWidget(caption(window_, QStringLiteral("Фраза-триггер — произносится отдельной фразой:")));
    right->addWidget(triggerField_);
    right->addSpacing(6);
    right->addWidget(caption(window_, QStringLiteral("Текст макроса — вставится вместо фразы:")));
    right->addWidget(textView_, 1);
    right->addWidget(hintLabel(window_));

    auto* columns = new QHBoxLayout(window_);
    columns->setContentsMargins(20, 20, 20, 16);
    columns->setSpacing(20);
    columns->addLayout(left);
    columns->addLayout(right, 1);

    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row != selected_)
            select(row);
    });
    connect(addButton, &QPushButton::clicked, this, &MacroEditor::addMacro);
    connect(removeButton_, &QPushButton::clicked, this, &MacroEditor::removeMacro);
    connect(fileButton, &QPushButton::clicked, this, &MacroEditor::openFile);
    connect(triggerField_, &QLineEdit::editingFinished, this, &MacroEditor::renameSelected);
    connect(textView_, &QPlainTextEdit::textChanged, this, &MacroEditor::textEdited);
}

void MacroEditor::reload(const std::optional<QString>& selectTrigger)
{
    // Typing not yet saved would otherwise be overwritten by what the file held before it.
    if (saveWork_.isPending())
        saveNow();
    items_ = MacroStore::loadRaw();
    known_ = fileContent();
    {
        const QSignalBlocker quiet(list_);
        list_->clear();
        for (const MacroPair& item : items_)
            list_->addItem(item.trigger);
    }
    const auto count = static_cast<int>(items_.size());
    if (selectTrigger) {
        const auto match = std::find_if(items_.begin(), items_.end(),
                                        [&](const MacroPair& item) { return item.trigger == *selectTrigger; });
        if (match != items_.end()) {
            select(static_cast<int>(match - items_.begin()));
            return;
        }
    }
    select(count == 0 ? -1 : std::min(count - 1, std::max(selected_, 0)));
}

bool MacroEditor::hasSelection() const
{
    return selected_ >= 0 && static_cast<size_t>(selected_) < items_.size();
}

void MacroEditor::select(int row)
{
    selected_ = row >= 0 && static_cast<size_t>(row) < items_.size() ? row : -1;
    const bool valid = hasSelection();
    const MacroPair shown = valid ? items_[static_cast<size_t>(row)] : MacroPair{};
    {
        const QSignalBlocker quietList(list_);
        const QSignalBlocker quietText(textView_);
        list_->setCurrentRow(selected_);
        if (valid)
            list_->scrollToItem(list_->item(selected_));
        else
            list_->clearSelection();
        triggerField_->setText(shown.trigger);
        textView_->setPlainText(shown.text);
    }
    triggerField_->setEnabled(valid);
    textView_->setReadOnly(!valid);
    removeButton_->setEnabled(valid);
}

QString MacroEditor::freeTrigger() const
{
    const auto taken = [this](const QString& name) {
        return std::any_of(items_.begin(), items_.end(),
                           [&](const MacroPair& item) { return item.trigger.toLower() == name.toLower(); });
    };
    QString name = QStringLiteral("новый макрос");
    for (int number = 2; taken(name); ++number)
        name = QStringLiteral("новый макрос %1").arg(number);
    return name;
}

void MacroEditor::addMacro()
{
    const QString trigger = freeTrigger();
    commit([trigger](std::vector<MacroPair>& items) { items.push_back({trigger, QString()}); });
    reload(trigger);
    triggerField_->setFocus();
    triggerField_->selectAll();
}

void MacroEditor::removeMacro()
{
    if (!hasSelection())
        return;
    const int answer = AlertPresenter::shared().present(
        {QStringLiteral("Удалить макрос «%1»?").arg(items_[static_cast<size_t>(selected_)].trigger),
         QStringLiteral("Действие нельзя отменить."),
         {QStringLiteral("Удалить"), QStringLiteral("Отмена")}});
    if (answer != 0 || !hasSelection())
        return;
    const QString trigger = items_[static_cast<size_t>(selected_)].trigger;
    commit([trigger](std::vector<MacroPair>& items) {
        std::erase_if(items, [&](const MacroPair& item) { return item.trigger == trigger; });
    });
    reload();
}

void MacroEditor::renameSelected()
{
    if (!hasSelection())
        return;
    const QString name = triggerField_->text().trimmed();
    const QString old = items_[static_cast<size_t>(selected_)].trigger;
    if (name == old)
        return;
    // The old name goes back before any alert: the alert takes the focus, which ends the editing again.
    triggerField_->setText(old);
    if (name.isEmpty())
        return;
    for (size_t row = 0; row < items_.size(); ++row) {
        if (static_cast<int>(row) != selected_ && items_[row].trigger.toLower() == name.toLower()) {
            AlertPresenter::shared().present({QStringLiteral("Триггер «%1» уже есть").arg(name),
                                              QStringLiteral("У каждого макроса должна быть своя фраза."),
                                              {QStringLiteral("Понятно")}});
            return;
        }
    }
    const MacroPair renamed{name, items_[static_cast<size_t>(selected_)].text};
    commit([old, renamed](std::vector<MacroPair>& items) {
        std::erase_if(items, [&](const MacroPair& item) { return item.trigger == old; });
        items.push_back(renamed);
    });
    reload(name);
}

void MacroEditor::textEdited()
{
    if (!hasSelection())
        return;
    MacroPair& edited = items_[static_cast<size_t>(selected_)];
    edited.text = textView_->toPlainText();
    pendingText_ = edited;
    saveWork_.schedule(saveDelayMs, [this] { saveNow(); });
}

void MacroEditor::saveNow()
{
    saveWork_.cancel();
    if (!pendingText_)
        return;
    commit([edited = *std::exchange(pendingText_, std::nullopt)](std::vector<MacroPair>& items) {
        const auto match = std::find_if(items.begin(), items.end(),
                                        [&](const MacroPair& item) { return item.trigger == edited.trigger; });
        if (match == items.end())
            items.push_back(edited);
        else
            match->text = edited.text;
    });
}

void MacroEditor::commit(const std::function<void(std::vector<MacroPair>&)>& change)
{
    const bool changedElsewhere = fileContent() != known_;
    const QString shown = hasSelection() ? items_[static_cast<size_t>(selected_)].trigger : QString();
    if (changedElsewhere)
        items_ = MacroStore::loadRaw();
    change(items_);
    MacroStore::saveRaw(items_);
    known_ = fileContent();
    if (!changedElsewhere)
        return;
    reload(shown);
    AlertPresenter::shared().present({QStringLiteral("macros.json изменён другой программой"),
                                      QStringLiteral("Пока было открыто это окно, файл изменили. Список перечитан из "
                                                     "файла, а ваше изменение внесено в его новую версию."),
                                      {QStringLiteral("Понятно")}});
}

void MacroEditor::openFile()
{
    MacroStore::ensureFile();
    if (openUrl)
        openUrl(QUrl::fromLocalFile(MacroStore::filePath()));
}
