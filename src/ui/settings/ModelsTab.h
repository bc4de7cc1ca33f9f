#pragma once

#include "core/Result.h"
#include "engines/ModelCatalog.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QProgressDialog;
class QPushButton;
class QTableWidget;

// The tab «Модель» of the settings window: every catalog model with its size, its speed here and its state, activating,
// downloading and deleting models, adding the user's own model files, and the disk they take.
class ModelsTab : public QWidget
{
    Q_OBJECT

public:
    explicit ModelsTab(QWidget* parent = nullptr);

    void refresh();
    // "загрузка N%…", "✓ активна", "активна — не скачана", "скачана" or "не скачана".
    static QString status(const RecognitionModel& model, const QString& activeID);

    // After another model became the active one.
    std::function<void()> restartEngine;
    // After every action, so that the whole window shows the new state.
    std::function<void()> changed;
    // The model file the user picks; empty when cancelled.
    std::function<QString()> chooseModelFile;

private:
    std::optional<RecognitionModel> selectedModel() const;
    void selectModel(const QString& id);
    void updateButtons();
    void activate();
    void download();
    void remove();
    void addOwnModel();
    void startAdding(const QString& path, bool replace);
    void finishAdding(const Result<RecognitionModel>& added, bool replaced);
    void explainChoice();
    void reportChange();

    QTableWidget* table_ = nullptr;
    QPushButton* activateButton_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QLabel* diskLabel_ = nullptr;
    // While the user's own model file is copied.
    QPointer<QProgressDialog> adding_;
    std::vector<RecognitionModel> models_;
};
