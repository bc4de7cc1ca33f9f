#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QTableWidget;

// The tab «Словарь» of the settings window: the corrections dictionary sorted by the recognized form,
// learning a pair and forgetting one.
class DictionaryTab : public QWidget
{
    Q_OBJECT

public:
    using Pair = std::pair<QString, QString>;

    explicit DictionaryTab(QWidget* parent = nullptr);

    void refresh();

    // After a pair was learned or forgotten: the recognizer's prompt hint changed.
    std::function<void()> restartEngine;
    // After every action, so that the whole window shows the new state.
    std::function<void()> changed;

private:
    std::optional<Pair> selectedPair() const;
    void addPair();
    void removePair();
    // The dialog «Новая пара словаря»: both texts trimmed, or nothing when cancelled.
    std::optional<Pair> askForPair();
    void reportChange();

    QTableWidget* table_ = nullptr;
    QCheckBox* learnCheck_ = nullptr;
    // wrong → right, sorted by wrong.
    std::vector<Pair> pairs_;
};
