#include "ui/settings/ModelsTab.h"

#include "core/AlertPresenter.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "engines/CustomModels.h"
#include "engines/ModelManager.h"
#include "engines/RecognitionSpeed.h"
#include "ui/NoteLabel.h"
#include "ui/settings/HelpTexts.h"
#include "ui/settings/SettingsWidgets.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QThreadPool>
#include <QVBoxLayout>

#include <atomic>
#include <memory>

namespace
{

constexpr double bytesPerGiB = 1'073'741'824.0;
constexpr int rowHeight = 22;
constexpr int progressSteps = 1000;
constexpr int progressShownAfterMs = 300;

enum Column
{
    titleColumn,
    sizeColumn,
    speedColumn,
    statusColumn,
};

double diskUseGiB()
{
    return static_cast<double>(ModelManager::diskUsageBytes()) / bytesPerGiB;
}

// The model the recognizer really uses: a stored identifier that names nothing falls back to the default.
QString activeModelID()
{
    return ModelCatalog::byID(SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(QString())).id;
}

bool isDownloading(const RecognitionModel& model)
{
    return ModelManager::shared().progress().contains(model.id);
}

void setCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        if (column == sizeColumn)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    item->setText(text);
}

QTableWidget* modelTable(QWidget* parent)
{
    auto* table = new QTableWidget(0, 4, parent);
    table->setObjectName(QStringLiteral("modelTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Модель"), QStringLiteral("Размер"),
                                      QStringLiteral("Скорость здесь"), QStringLiteral("Статус")});
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->horizontalHeader()->setSectionResizeMode(titleColumn, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(sizeColumn, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(speedColumn, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(statusColumn, QHeaderView::ResizeToContents);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    return table;
}

QString chooseModelFileInDialog()
{
    return QFileDialog::getOpenFileName(nullptr, QStringLiteral("Своя модель whisper.cpp"), QString(),
                                        QStringLiteral("Модели whisper.cpp (*.bin);;Все файлы (*)"));
}

} // namespace

ModelsTab::ModelsTab(QWidget* parent) : QWidget(parent), chooseModelFile(chooseModelFileInDialog)
{
    using namespace SettingsWidgets;
    auto* layout = new QVBoxLayout(this);
    table_ = modelTable(this);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    activateButton_ = button(this, "activateBtn", QStringLiteral("Сделать активной"));
    downloadButton_ = button(this, "downloadBtn", QStringLiteral("Загрузить"));
    deleteButton_ = button(this, "deleteBtn", QStringLiteral("Удалить с диска"));
    auto* addButton = button(this, "addOwnModelBtn", QStringLiteral("Добавить свою модель…"));
    buttons->addWidget(activateButton_);
    buttons->addWidget(downloadButton_);
    buttons->addWidget(deleteButton_);
    buttons->addStretch(1);
    buttons->addWidget(addButton);
    layout->addLayout(buttons);

    auto* diskRow = new QHBoxLayout;
    diskLabel_ = new QLabel(this);
    diskLabel_->setObjectName(QStringLiteral("diskLabel"));
    auto* helpButton = button(this, "modelHelpBtn", QStringLiteral("Какую выбрать?"));
    diskRow->addWidget(diskLabel_, 1);
    diskRow->addWidget(helpButton);
    layout->addLayout(diskRow);
    layout->addWidget(NoteLabel::make(
        this, QStringLiteral("Смена модели перезапускает движок распознавания. GigaAM-v3 — только русский.")));

    connect(table_, &QTableWidget::itemSelectionChanged, this, &ModelsTab::updateButtons);
    connect(activateButton_, &QPushButton::clicked, this, &ModelsTab::activate);
    connect(downloadButton_, &QPushButton::clicked, this, &ModelsTab::download);
    connect(deleteButton_, &QPushButton::clicked, this, &ModelsTab::remove);
    connect(addButton, &QPushButton::clicked, this, &ModelsTab::addOwnModel);
    connect(helpButton, &QPushButton::clicked, this, &ModelsTab::explainChoice);
}

QString ModelsTab::status(const RecognitionModel& model, const QString& activeID)
{
    const auto progress = ModelManager::shared().progress().constFind(model.id);
    if (progress != ModelManager::shared().progress().constEnd())
        return QStringLiteral("загрузка %1%…").arg(static_cast<int>(progress.value() * 100));
    const bool onDisk = ModelManager::isDownloaded(model);
    if (model.id == activeID)
        return onDisk ? QStringLiteral("✓ активна") : QStringLiteral("активна — не скачана");
    return onDisk ? QStringLiteral("скачана") : QStringLiteral("не скачана");
}

void ModelsTab::refresh()
{
    const std::optional<RecognitionModel> selected = selectedModel();
    models_ = ModelCatalog::all();
    const QString activeID = activeModelID();
    {
        const QSignalBlocker quiet(table_);
        table_->setRowCount(static_cast<int>(models_.size()));
        for (int row = 0; row < table_->rowCount(); ++row) {
            const RecognitionModel& model = models_[static_cast<size_t>(row)];
            setCell(table_, row, titleColumn, model.title);
            setCell(table_, row, sizeColumn, QStringLiteral("%1 МБ").arg(model.sizeMB));
            setCell(table_, row, speedColumn, RecognitionSpeed::describe(model.id));
            setCell(table_, row, statusColumn, status(model, activeID));
        }
        table_->clearSelection();
    }
    if (selected)
        selectModel(selected->id);
    updateButtons();
    diskLabel_->setText(QString::asprintf("Занято моделями на диске: %.1f ГБ", diskUseGiB()));
}

std::optional<RecognitionModel> ModelsTab::selectedModel() const
{
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    if (ranges.isEmpty())
        return std::nullopt;
    const auto row = static_cast<size_t>(ranges.first().topRow());
    return row < models_.size() ? std::optional(models_[row]) : std::nullopt;
}

void ModelsTab::selectModel(const QString& id)
{
    for (size_t row = 0; row < models_.size(); ++row) {
        if (models_[row].id == id)
            table_->selectRow(static_cast<int>(row));
    }
}

void ModelsTab::updateButtons()
{
    const std::optional<RecognitionModel> model = selectedModel();
    const bool onDisk = model && ModelManager::isDownloaded(*model);
    const bool active = model && model->id == activeModelID();
    activateButton_->setEnabled(onDisk && !active);
    deleteButton_->setEnabled(onDisk && !active);
    downloadButton_->setEnabled(model && !onDisk && !isDownloading(*model));
}

void ModelsTab::activate()
{
    const std::optional<RecognitionModel> model = selectedModel();
    if (!model)
        return;
    SettingsStore::shared().setString(SettingsKey::modelID, model->id);
    if (restartEngine)
        restartEngine();
    reportChange();
}

void ModelsTab::download()
{
    const std::optional<RecognitionModel> model = selectedModel();
    if (!model)
        return;
    const int answer = AlertPresenter::shared().present(
        {QStringLiteral("Загрузить модель «%1»?").arg(model->title),
         QString::asprintf("Она займёт ещё %d МБ на диске (сейчас моделями занято %.1f ГБ). Ненужные модели можно "
                           "удалять на этой же вкладке.",
                           model->sizeMB, diskUseGiB()),
         {QStringLiteral("Загрузить"), QStringLiteral("Отмена")}});
    if (answer == 0 && !isDownloading(*model))
        ModelManager::shared().download(*model);
    reportChange();
}

void ModelsTab::remove()
{
    const std::optional<RecognitionModel> model = selectedModel();
    if (!model)
        return;
    // The user's own file cannot be downloaded again: say so instead of promising it.
    const QString consequence = model->userProvided
                                    ? QStringLiteral("Файл будет удалён из папки своих моделей — чтобы вернуть "
                                                     "модель, добавьте его снова.")
                                    : QStringLiteral("При повторном выборе модель скачается заново.");
    const int answer =
        AlertPresenter::shared().present({QStringLiteral("Удалить «%1» с диска?").arg(model->title),
                                          QStringLiteral("Освободится %1 МБ. ").arg(model->sizeMB) + consequence,
                                          {QStringLiteral("Удалить"), QStringLiteral("Отмена")}});
    if (answer == 0 && model->id != activeModelID())
        ModelManager::shared().remove(*model);
    reportChange();
}

void ModelsTab::addOwnModel()
{
    const QString path = chooseModelFile ? chooseModelFile() : QString();
    if (path.isEmpty() || adding_)
        return;
    const bool replace = CustomModels::isTaken(path);
    if (replace) {
        const QString title = QFileInfo(CustomModels::modelName(path)).completeBaseName();
        const int answer = AlertPresenter::shared().present(
            {QStringLiteral("Модель «%1» уже есть").arg(title),
             QStringLiteral("В папке своих моделей уже лежит файл с таким именем. Заменить его выбранным?"),
             {QStringLiteral("Заменить"), QStringLiteral("Отмена")}});
        if (answer != 0)
            return;
    }
    startAdding(path, replace);
}

// The file goes into the folder on a worker thread: a copy of a few gigabytes takes minutes.
void ModelsTab::startAdding(const QString& path, bool replace)
{
    adding_ = new QProgressDialog(QStringLiteral("Копирую «%1» в папку своих моделей…").arg(QFileInfo(path).fileName()),
                                  QStringLiteral("Отмена"), 0, progressSteps, this);
    adding_->setObjectName(QStringLiteral("addingProgress"));
    adding_->setWindowTitle(QStringLiteral("Своя модель"));
    adding_->setWindowModality(Qt::WindowModal);
    adding_->setMinimumDuration(progressShownAfterMs);
    adding_->setValue(0);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    connect(adding_, &QProgressDialog::canceled, this, [cancelled] { *cancelled = true; });
    const QPointer<ModelsTab> self(this);
    QThreadPool::globalInstance()->start([self, path, replace, cancelled] {
        const auto progress = [self, cancelled](double fraction) {
            MainThread::post([self, fraction] {
                if (self && self->adding_)
                    self->adding_->setValue(static_cast<int>(fraction * progressSteps));
            });
            return !*cancelled;
        };
        Result<RecognitionModel> added = CustomModels::add(path, replace, progress);
        MainThread::post([self, added = std::move(added), replace] {
            if (self)
                self->finishAdding(added, replace);
        });
    });
}

void ModelsTab::finishAdding(const Result<RecognitionModel>& added, bool replaced)
{
    // This may run inside the dialog's own setValue(), which lets events through while a modal dialog is shown:
    // deleted now, the dialog would be gone when setValue() goes on.
    if (adding_) {
        adding_->hide();
        adding_->deleteLater();
        adding_.clear();
    }
    if (!added) {
        if (added.error().code() != CustomModels::cancelledCode)
            AlertPresenter::shared().present({QStringLiteral("Не удалось добавить модель"),
                                              added.error().description(),
                                              {QStringLiteral("Понятно")}});
        return;
    }
    if (replaced && added.value().id == activeModelID() && restartEngine)
        restartEngine();
    reportChange();
    selectModel(added.value().id);
}

void ModelsTab::explainChoice()
{
    AlertPresenter::shared().present(
        {QStringLiteral("Какую модель выбрать?"), HelpTexts::modelChoice(), {QStringLiteral("Понятно")}});
}

void ModelsTab::reportChange()
{
    if (changed)
        changed();
    else
        refresh();
}
