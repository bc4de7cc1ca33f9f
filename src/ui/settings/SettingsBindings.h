#pragma once

#include <QLatin1String>
#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QWidget;

// The checkboxes and popups of the settings window that stand for one stored setting each: a change is stored at
// once, then the control's own follow-up runs and `changed`; refresh() shows what is stored. Main thread.
class SettingsBindings : public QObject
{
public:
    // After every change the user made.
    std::function<void()> changed;

    QCheckBox* check(QWidget* tab, const char* name, const QString& title, QLatin1String key,
                     std::function<void()> afterStore = {});
    // `values` are the stored values in the order of the entries; an unknown value selects the first.
    QComboBox* popup(QWidget* tab, const char* name, const QStringList& titles, QLatin1String key,
                     const QStringList& values, std::function<void()> afterStore = {});
    void refresh();
    // The controls went with their window.
    void clear();

private:
    struct CheckBinding
    {
        QCheckBox* box;
        QLatin1String key;
    };
    struct PopupBinding
    {
        QComboBox* box;
        QLatin1String key;
        QStringList values;
    };

    void callChanged();

    std::vector<CheckBinding> checks_;
    std::vector<PopupBinding> popups_;
};
