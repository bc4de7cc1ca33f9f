#include "ui/settings/SettingsBindings.h"

#include "core/SettingsStore.h"
#include "ui/settings/SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>

#include <algorithm>
#include <optional>

QCheckBox* SettingsBindings::check(QWidget* tab, const char* name, const QString& title, QLatin1String key,
                                   std::function<void()> afterStore)
{
    QCheckBox* box = SettingsWidgets::check(tab, name, title);
    checks_.push_back({box, key});
    connect(box, &QCheckBox::clicked, this, [this, key, afterStore = std::move(afterStore)](bool on) {
        SettingsStore::shared().setBool(key, on);
        if (afterStore)
            afterStore();
        callChanged();
    });
    return box;
}

QComboBox* SettingsBindings::popup(QWidget* tab, const char* name, const QStringList& titles, QLatin1String key,
                                   const QStringList& values, std::function<void()> afterStore)
{
    QComboBox* box = SettingsWidgets::popup(tab, name, titles);
    popups_.push_back({box, key, values});
    connect(box, &QComboBox::activated, this, [this, key, values, afterStore = std::move(afterStore)](int index) {
        const std::optional<QString> before = SettingsStore::shared().stringForKey(key);
        if (index >= 0 && index < values.size())
            SettingsStore::shared().setString(key, values.at(index));
        // Choosing the entry already chosen changes nothing, and restarts nothing.
        if (afterStore && SettingsStore::shared().stringForKey(key) != before)
            afterStore();
        callChanged();
    });
    return box;
}

void SettingsBindings::refresh()
{
    SettingsStore& settings = SettingsStore::shared();
    for (const CheckBinding& binding : checks_)
        binding.box->setChecked(settings.boolForKey(binding.key));
    for (const PopupBinding& binding : popups_) {
        const qsizetype index = binding.values.indexOf(settings.stringForKey(binding.key).value_or(QString()));
        binding.box->setCurrentIndex(static_cast<int>(std::max<qsizetype>(index, 0)));
    }
}

void SettingsBindings::clear()
{
    checks_.clear();
    popups_.clear();
}

void SettingsBindings::callChanged()
{
    if (changed)
        changed();
}
