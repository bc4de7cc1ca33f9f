#pragma once

#include "quality/AdvisorEngine.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

// The tab «Грамотная речь» of the settings window: the speech-quality mode and, in the modes that rewrite
// phrases, the style advisor with its style and intensity.
class SpeechQualityTab : public QWidget
{
    Q_OBJECT

public:
    explicit SpeechQualityTab(QWidget* parent = nullptr);

    void refresh();
    // The advisor status line for a state.
    static QString advisorStatus(const AdvisorEngine::State& state, bool advisorEnabled);

    // After every action, so that the whole window shows the new state.
    std::function<void()> changed;

private:
    QWidget* buildAdvisorGroup();
    void modeChosen(int index);
    void advisorToggled(bool on);
    void styleChosen(int index);
    void intensityMoved(int value);
    void reportChange();

    QComboBox* modePopup_ = nullptr;
    QWidget* advisorGroup_ = nullptr;
    QCheckBox* advisorCheck_ = nullptr;
    QLabel* advisorStatus_ = nullptr;
    QComboBox* stylePopup_ = nullptr;
    QSlider* intensitySlider_ = nullptr;
    QLabel* intensityLabel_ = nullptr;
};
