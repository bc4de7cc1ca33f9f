#include "ui/settings/SettingsWindow.h"

#include "BuildInfo.h"
#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "dictation/HotkeyManager.h"
#include "engines/ModelManager.h"
#include "platform/Autostart.h"
#include "quality/AdvisorEngine.h"
#include "text/MacroStore.h"
#include "ui/MacroEditor.h"
#include "ui/NoteLabel.h"
#include "ui/WindowFront.h"
#include "ui/settings/AppProfilesTab.h"
#include "ui/settings/DictionaryTab.h"
#include "ui/settings/FormattingTab.h"
#include "ui/settings/HelpTexts.h"
#include "ui/settings/ModelsTab.h"
#include "ui/settings/SettingsWidgets.h"
#include "ui/settings/SpeechQualityTab.h"
#include "update/Updater.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace
{

constexpr int contentWidth = 660;
constexpr int contentHeight = 470;

QStringList presetTitles()
{
    QStringList titles;
    for (const HotkeyManager::Preset& preset : HotkeyManager::presets())
        titles.append(preset.title);
    return titles;
}

QStringList presetIdentifiers()
{
    QStringList identifiers;
    for (const HotkeyManager::Preset& preset : HotkeyManager::presets())
        identifiers.append(preset.identifier);
    return identifiers;
}

QVBoxLayout* tabLayout(QWidget* tab)
{
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(10);
    return layout;
}

} // namespace

SettingsWindow& SettingsWindow::shared()
{
    return sharedInstance<SettingsWindow>();
}

SettingsWindow::SettingsWindow(QObject* parent) : QObject(parent)
{
    bindings_.changed = [this] { refresh(); };
    // What the window shows of the advisor and of the downloads follows them by itself.
    connect(&AdvisorEngine::shared(), &AdvisorEngine::stateChanged, this, &SettingsWindow::refresh);
    connect(&ModelManager::shared(), &ModelManager::progressChanged, this, &SettingsWindow::refresh);
    connect(&ModelManager::shared(), &ModelManager::downloadFinished, this, &SettingsWindow::refresh);
    // Widgets must go before the application object, which the shared instance outlives.
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &SettingsWindow::destroyWindow);
}

SettingsWindow::~SettingsWindow()
{
    destroyWindow();
}

void SettingsWindow::destroyWindow()
{
    delete window_;
    bindings_.clear();
}

QWidget* SettingsWindow::window() const
{
    return window_;
}

void SettingsWindow::offerAppMenu(QMenu* menu)
{
    appMenu_ = menu;
    if (!window_)
        return;
    appMenuButton_->setMenu(menu);
    appMenuRow_->setVisible(menu != nullptr);
    window_->resize(window_->size().expandedTo(window_->minimumSizeHint()));
}

void SettingsWindow::showWindow()
{
    const bool firstShow = !window_;
    ensureWindow();
    audioSources_ = listAudioSources ? listAudioSources() : std::vector<AudioSource>{};
    if (firstShow)
        WindowFront::centerOnScreen(window_);
    window_->show();
    refresh();
    // Without a tray the menu is what a second start comes for.
    if (appMenu_)
        appMenuButton_->setFocus();
    WindowFront::bringToFront(window_);
}

void SettingsWindow::ensureWindow()
{
    if (window_)
        return;
    window_ = new QWidget(nullptr, Qt::Window);
    window_->setObjectName(QStringLiteral("SettingsWindow"));
    window_->setWindowTitle(QStringLiteral("Настройки Толвана"));
    // The application lives in the tray: closing this window must not end it.
    window_->setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(buildAppMenuRow());
    tabs_ = new QTabWidget(window_);
    tabs_->setObjectName(QStringLiteral("tabs"));
    // All eight titles stay in sight; the window grows to fit them where the font is wide.
    tabs_->setUsesScrollButtons(false);
    layout->addWidget(tabs_);

    modelsTab_ = new ModelsTab;
    modelsTab_->restartEngine = [this] { callRestartEngine(); };
    modelsTab_->changed = [this] { refresh(); };
    speechQualityTab_ = new SpeechQualityTab;
    speechQualityTab_->changed = [this] { refresh(); };
    dictionaryTab_ = new DictionaryTab;
    dictionaryTab_->restartEngine = [this] { callRestartEngine(); };
    dictionaryTab_->changed = [this] { refresh(); };
    appProfilesTab_ = new AppProfilesTab;

    tabs_->addTab(buildGeneralTab(), QStringLiteral("Основные"));
    tabs_->addTab(modelsTab_, QStringLiteral("Модель"));
    tabs_->addTab(buildKeysTab(), QStringLiteral("Клавиши"));
    tabs_->addTab(buildPasteTab(), QStringLiteral("Вставка"));
    tabs_->addTab(new FormattingTab(bindings_), QStringLiteral("Форматирование"));
    tabs_->addTab(speechQualityTab_, QStringLiteral("Грамотная речь"));
    tabs_->addTab(dictionaryTab_, QStringLiteral("Словарь"));
    tabs_->addTab(appProfilesTab_, QStringLiteral("Приложения"));
    offerAppMenu(appMenu_);
    window_->resize(QSize(contentWidth, contentHeight).expandedTo(window_->minimumSizeHint()));
}

QWidget* SettingsWindow::buildAppMenuRow()
{
    appMenuRow_ = new QWidget(window_);
    appMenuRow_->setObjectName(QStringLiteral("appMenuRow"));
    auto* row = new QHBoxLayout(appMenuRow_);
    row->setContentsMargins(0, 0, 0, 4);
    row->addWidget(NoteLabel::make(appMenuRow_, QStringLiteral("На этом рабочем столе нет системного трея, и "
                                                               "значка Толвана не видно. Его меню — за этой "
                                                               "кнопкой; это окно открывает каждый новый запуск "
                                                               "Толвана.")),
                   1);
    appMenuButton_ = SettingsWidgets::button(appMenuRow_, "appMenuBtn", QStringLiteral("Меню Толвана"));
    row->addWidget(appMenuButton_);
    return appMenuRow_;
}

QWidget* SettingsWindow::buildGeneralTab()
{
    using namespace SettingsWidgets;
    auto* tab = new QWidget;
    QVBoxLayout* layout = tabLayout(tab);
    QComboBox* language = bindings_.popup(
        tab, "langPopup", {QStringLiteral("Русский"), QStringLiteral("Автоопределение"), QStringLiteral("Английский")},
        SettingsKey::language, {QStringLiteral("ru"), QStringLiteral("auto"), QStringLiteral("en")},
        [this] { callRestartEngine(); });
    layout->addLayout(labelledRow(tab, QStringLiteral("Язык распознавания:"), language));
    micPopup_ = popup(tab, "micPopup", {});
    micPopup_->setMaximumWidth(400);
    layout->addLayout(labelledRow(tab, QStringLiteral("Микрофон:"), micPopup_));
    connect(micPopup_, &QComboBox::activated, this, &SettingsWindow::microphoneChosen);

    layout->addWidget(
        bindings_.check(tab, "soundsCheck", QStringLiteral("Звуки начала и конца записи"), SettingsKey::sounds));
    layout->addWidget(bindings_.check(tab, "whileRecordingCheck",
                                      QStringLiteral("Распознавать по ходу записи (текст готов сразу после Enter)"),
                                      SettingsKey::recognizeWhileRecording));
    layout->addWidget(bindings_.check(tab, "pauseMediaCheck",
                                      QStringLiteral("Ставить музыку и видео на паузу во время записи"),
                                      SettingsKey::pauseMedia));
    loginCheck_ = check(tab, "loginCheck", QStringLiteral("Запускать при входе в систему"));
    connect(loginCheck_, &QCheckBox::clicked, this, &SettingsWindow::loginToggled);
    layout->addWidget(loginCheck_);
    layout->addWidget(bindings_.check(tab, "updatesCheck", QStringLiteral("Проверять обновления при запуске"),
                                      SettingsKey::autoUpdateCheck));
    auto* checkNow = button(tab, "checkNowBtn", QStringLiteral("Проверить сейчас"));
    connect(checkNow, &QPushButton::clicked, this, [] { Updater::shared().check(true); });
    auto* checkRow = new QHBoxLayout;
    checkRow->setContentsMargins(22, 0, 0, 0);
    checkRow->addWidget(checkNow);
    checkRow->addStretch(1);
    layout->addLayout(checkRow);
    layout->addStretch(1);
    QLabel* footer = NoteLabel::make(tab, QStringLiteral("Толван %1").arg(QString::fromUtf8(BuildInfo::shortVersion)));
    footer->setObjectName(QStringLiteral("footer"));
    layout->addWidget(footer);
    return tab;
}

QWidget* SettingsWindow::buildKeysTab()
{
    using namespace SettingsWidgets;
    auto* tab = new QWidget;
    QVBoxLayout* layout = tabLayout(tab);
    QComboBox* hotkey = bindings_.popup(tab, "hotkeyPopup", presetTitles(), SettingsKey::togglePreset,
                                        presetIdentifiers(), [this] { callHotkeysChanged(); });
    layout->addLayout(labelledRow(tab, QStringLiteral("Переключатель диктовки:"), hotkey));
    layout->addWidget(bindings_.check(tab, "pttCheck",
                                      QStringLiteral("Рация: диктовать, пока клавиша нажата (отпустил — вставилось)"),
                                      SettingsKey::pttEnabled, [this] { callHotkeysChanged(); }));
    QComboBox* pttKey = bindings_.popup(
        tab, "pttKeyPopup", {QStringLiteral("правый Alt"), QStringLiteral("правый Ctrl")}, SettingsKey::pttKey,
        {QStringLiteral("rightAlt"), QStringLiteral("rightCtrl")}, [this] { callHotkeysChanged(); });
    layout->addLayout(labelledRow(tab, QStringLiteral("Клавиша рации:"), pttKey));
    altGrNote_ = NoteLabel::make(
        tab, QStringLiteral("В вашей раскладке правый Alt — это AltGr: им набирают «», — и другие знаки. "
                            "Для рации лучше выбрать правый Ctrl. Сочетание с AltGr запись не начнёт: "
                            "начатая удержанием запись отбрасывается, как только нажата другая клавиша."));
    altGrNote_->setObjectName(QStringLiteral("altGrNote"));
    layout->addWidget(altGrNote_);
    layout->addWidget(
        NoteLabel::make(tab, QStringLiteral("Во время записи: Enter — закончить и вставить, Esc — отменить, кнопки "
                                            "«Готово» и ✕ — на панели внизу экрана.\nВ любой момент: %1 — выучить "
                                            "слово из выделенного текста.")
                                 .arg(HotkeyManager::title(HotkeyManager::learnCombination))));
    layout->addStretch(1);
    return tab;
}

QWidget* SettingsWindow::buildPasteTab()
{
    using namespace SettingsWidgets;
    auto* tab = new QWidget;
    QVBoxLayout* layout = tabLayout(tab);
    layout->addWidget(bindings_.check(tab, "pasteCheck",
                                      QStringLiteral("Автовставка в активное поле (иначе — только буфер обмена)"),
                                      SettingsKey::autoPaste));
    layout->addWidget(
        bindings_.check(tab, "spaceCheck", QStringLiteral("Добавлять пробел в конце фразы"), SettingsKey::appendSpace));
    layout->addWidget(bindings_.check(tab, "clipCheck",
                                      QStringLiteral("Восстанавливать прежний буфер обмена после вставки"),
                                      SettingsKey::restoreClipboard));
    layout->addWidget(
        NoteLabel::make(tab, QStringLiteral("Распознанный текст всегда остаётся в буфере обмена — если вставка не "
                                            "сработала, нажмите Ctrl+V.")));
    layout->addStretch(1);
    return tab;
}

void SettingsWindow::refresh()
{
    if (!window_ || !window_->isVisible())
        return;
    bindings_.refresh();
    loginCheck_->setChecked(Autostart::isEnabled());
    altGrNote_->setVisible(rightAltIsAltGr());
    fillMicrophones();
    modelsTab_->refresh();
    speechQualityTab_->refresh();
    dictionaryTab_->refresh();
    appProfilesTab_->refresh();
}

void SettingsWindow::fillMicrophones()
{
    const QString chosen = SettingsStore::shared().stringForKey(SettingsKey::inputDevice).value_or(QString());
    std::vector<AudioSource> entries{{QString(), QStringLiteral("По умолчанию")}};
    entries.insert(entries.end(), audioSources_.begin(), audioSources_.end());
    // A chosen microphone that is unplugged stays chosen: the recorder falls back until it returns.
    const auto isChosen = [&](const AudioSource& entry) { return entry.name == chosen; };
    if (std::none_of(entries.begin(), entries.end(), isChosen))
        entries.push_back({chosen, QStringLiteral("%1 (не подключён)").arg(chosen)});

    const QSignalBlocker quiet(micPopup_);
    // Rebuilt only when the entries change: refresh runs during downloads too, and must not close an open list.
    bool same = micPopup_->count() == static_cast<int>(entries.size());
    for (int index = 0; same && index < micPopup_->count(); ++index)
        same = micPopup_->itemData(index).toString() == entries[static_cast<size_t>(index)].name &&
               micPopup_->itemText(index) == entries[static_cast<size_t>(index)].description;
    if (!same) {
        micPopup_->clear();
        for (const AudioSource& entry : entries)
            micPopup_->addItem(entry.description, entry.name);
    }
    micPopup_->setCurrentIndex(
        static_cast<int>(std::find_if(entries.begin(), entries.end(), isChosen) - entries.begin()));
}

void SettingsWindow::microphoneChosen(int index)
{
    SettingsStore::shared().setString(SettingsKey::inputDevice, micPopup_->itemData(index).toString());
    refresh();
}

void SettingsWindow::loginToggled(bool on)
{
    const Result<Done> changed = Autostart::setEnabled(on);
    if (!changed)
        AlertPresenter::shared().present({QStringLiteral("Не удалось изменить автозапуск"),
                                          changed.error().description(),
                                          {QStringLiteral("Понятно")}});
    refresh();
}

void SettingsWindow::callRestartEngine()
{
    if (restartEngine)
        restartEngine();
}

void SettingsWindow::callHotkeysChanged()
{
    if (onHotkeysChanged)
        onHotkeysChanged();
}
