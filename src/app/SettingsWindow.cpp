#include "app/SettingsWindow.h"

#include "BuildInfo.h"
#include "app/Autostart.h"
#include "app/DictionaryTab.h"
#include "app/HelpTexts.h"
#include "app/ModelsTab.h"
#include "app/SettingsWidgets.h"
#include "app/SpeechQualityTab.h"
#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "core/SharedInstance.h"
#include "dictation/HotkeyManager.h"
#include "text/MacroStore.h"
#include "ui/MacroEditor.h"
#include "ui/NoteLabel.h"
#include "ui/WindowFront.h"
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
    checks_.clear();
    popups_.clear();
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
    // All seven titles stay in sight; the window grows to fit them where the font is wide.
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

    tabs_->addTab(buildGeneralTab(), QStringLiteral("Основные"));
    tabs_->addTab(modelsTab_, QStringLiteral("Модель"));
    tabs_->addTab(buildKeysTab(), QStringLiteral("Клавиши"));
    tabs_->addTab(buildPasteTab(), QStringLiteral("Вставка"));
    tabs_->addTab(buildFormattingTab(), QStringLiteral("Форматирование"));
    tabs_->addTab(speechQualityTab_, QStringLiteral("Грамотная речь"));
    tabs_->addTab(dictionaryTab_, QStringLiteral("Словарь"));
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
    QComboBox* language = boundPopup(
        tab, "langPopup", {QStringLiteral("Русский"), QStringLiteral("Автоопределение"), QStringLiteral("Английский")},
        SettingsKey::language, {QStringLiteral("ru"), QStringLiteral("auto"), QStringLiteral("en")},
        [this] { callRestartEngine(); });
    layout->addLayout(labelledRow(tab, QStringLiteral("Язык распознавания:"), language));
    micPopup_ = popup(tab, "micPopup", {});
    micPopup_->setMaximumWidth(400);
    layout->addLayout(labelledRow(tab, QStringLiteral("Микрофон:"), micPopup_));
    connect(micPopup_, &QComboBox::activated, this, &SettingsWindow::microphoneChosen);

    layout->addWidget(
        boundCheck(tab, "soundsCheck", QStringLiteral("Звуки начала и конца записи"), SettingsKey::sounds));
    layout->addWidget(boundCheck(tab, "whileRecordingCheck",
                                 QStringLiteral("Распознавать по ходу записи (текст готов сразу после Enter)"),
                                 SettingsKey::recognizeWhileRecording));
    layout->addWidget(boundCheck(tab, "pauseMediaCheck",
                                 QStringLiteral("Ставить музыку и видео на паузу во время записи"),
                                 SettingsKey::pauseMedia));
    loginCheck_ = check(tab, "loginCheck", QStringLiteral("Запускать при входе в систему"));
    connect(loginCheck_, &QCheckBox::clicked, this, &SettingsWindow::loginToggled);
    layout->addWidget(loginCheck_);
    layout->addWidget(boundCheck(tab, "updatesCheck", QStringLiteral("Проверять обновления при запуске"),
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
    QComboBox* hotkey = boundPopup(tab, "hotkeyPopup", presetTitles(), SettingsKey::togglePreset, presetIdentifiers(),
                                   [this] { callHotkeysChanged(); });
    layout->addLayout(labelledRow(tab, QStringLiteral("Переключатель диктовки:"), hotkey));
    layout->addWidget(boundCheck(tab, "pttCheck",
                                 QStringLiteral("Рация: диктовать, пока клавиша нажата (отпустил — вставилось)"),
                                 SettingsKey::pttEnabled, [this] { callHotkeysChanged(); }));
    QComboBox* pttKey = boundPopup(tab, "pttKeyPopup", {QStringLiteral("правый Alt"), QStringLiteral("правый Ctrl")},
                                   SettingsKey::pttKey, {QStringLiteral("rightAlt"), QStringLiteral("rightCtrl")},
                                   [this] { callHotkeysChanged(); });
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
    layout->addWidget(boundCheck(tab, "pasteCheck",
                                 QStringLiteral("Автовставка в активное поле (иначе — только буфер обмена)"),
                                 SettingsKey::autoPaste));
    layout->addWidget(
        boundCheck(tab, "spaceCheck", QStringLiteral("Добавлять пробел в конце фразы"), SettingsKey::appendSpace));
    layout->addWidget(boundCheck(tab, "clipCheck", QStringLiteral("Восстанавливать прежний буфер обмена после вставки"),
                                 SettingsKey::restoreClipboard));
    layout->addWidget(
        NoteLabel::make(tab, QStringLiteral("Распознанный текст всегда остаётся в буфере обмена — если вставка не "
                                            "сработала, нажмите Ctrl+V.")));
    layout->addStretch(1);
    return tab;
}

QWidget* SettingsWindow::buildFormattingTab()
{
    using namespace SettingsWidgets;
    auto* tab = new QWidget;
    QVBoxLayout* layout = tabLayout(tab);
    layout->addWidget(boundCheck(tab, "commandsCheck",
                                 QStringLiteral("Умные команды и макросы («новый абзац», «заголовок: …», «подпись»)"),
                                 SettingsKey::formattingEnabled));
    layout->addWidget(boundCheck(tab, "autoFmtCheck",
                                 QStringLiteral("Авторазметка по паузам и контексту (эксперимент)"),
                                 SettingsKey::autoFormat));
    QComboBox* format = boundPopup(
        tab, "formatPopup", {QStringLiteral("Markdown (## заголовки, - списки)"), QStringLiteral("Обычный текст")},
        SettingsKey::outputFormat, {QStringLiteral("markdown"), QStringLiteral("plain")});
    layout->addLayout(labelledRow(tab, QStringLiteral("Формат вывода:"), format));
    layout->addWidget(new QLabel(QStringLiteral("Типографика (кроме кода, ссылок и английских фраз):"), tab));
    layout->addWidget(
        boundCheck(tab, "quotesCheck", QStringLiteral("Кавычки «ёлочки» и „лапки“"), SettingsKey::typographyQuotes));
    layout->addWidget(boundCheck(tab, "dashesCheck", QStringLiteral("Тире вместо дефиса: «слово — слово», 1941–1945"),
                                 SettingsKey::typographyDashes));
    layout->addWidget(boundCheck(tab, "numbersCheck",
                                 QStringLiteral("Числа цифрами: 25 рублей, 1 января, в 7:30, 15 %"),
                                 SettingsKey::typographyNumbers));
    layout->addWidget(boundCheck(tab, "noBreakSpacesCheck",
                                 QStringLiteral("Неразрывные пробелы после предлогов, в числах и инициалах"),
                                 SettingsKey::typographyNoBreakSpaces));
    layout->addWidget(new QLabel(QStringLiteral("Правила редакторов, которым следуют не все:"), tab));
    layout->addWidget(boundCheck(tab, "romanCenturiesCheck",
                                 QStringLiteral("Века римскими цифрами: в XXI веке (иначе — словами)"),
                                 SettingsKey::typographyRomanCenturies));
    layout->addWidget(boundCheck(tab, "minusSignCheck", QStringLiteral("Знак минуса в отрицательных числах: −15"),
                                 SettingsKey::typographyMinusSign));
    layout->addWidget(boundCheck(tab, "numberSignCheck", QStringLiteral("Пробел после знака номера: № 15"),
                                 SettingsKey::typographyNumberSign));
    layout->addWidget(boundCheck(tab, "ellipsisCheck", QStringLiteral("Многоточие одним знаком (…) вместо трёх точек"),
                                 SettingsKey::typographyEllipsis));
    auto* buttons = new QHBoxLayout;
    auto* macros = button(tab, "macrosBtn", QStringLiteral("Макросы…"));
    auto* help = button(tab, "commandsHelpBtn", QStringLiteral("Справка по командам…"));
    connect(macros, &QPushButton::clicked, this, [] { MacroEditor::shared().open(); });
    connect(help, &QPushButton::clicked, this, &SettingsWindow::showCommandHelp);
    buttons->addWidget(macros);
    buttons->addWidget(help);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    return tab;
}

QCheckBox* SettingsWindow::boundCheck(QWidget* tab, const char* name, const QString& title, QLatin1String key,
                                      std::function<void()> afterStore)
{
    QCheckBox* box = SettingsWidgets::check(tab, name, title);
    checks_.push_back({box, key});
    connect(box, &QCheckBox::clicked, this, [this, key, afterStore = std::move(afterStore)](bool on) {
        SettingsStore::shared().setBool(key, on);
        if (afterStore)
            afterStore();
        refresh();
    });
    return box;
}

QComboBox* SettingsWindow::boundPopup(QWidget* tab, const char* name, const QStringList& titles, QLatin1String key,
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
        refresh();
    });
    return box;
}

void SettingsWindow::refresh()
{
    if (!window_ || !window_->isVisible())
        return;
    SettingsStore& settings = SettingsStore::shared();
    for (const CheckBinding& binding : checks_)
        binding.box->setChecked(settings.boolForKey(binding.key));
    for (const PopupBinding& binding : popups_) {
        const qsizetype index = binding.values.indexOf(settings.stringForKey(binding.key).value_or(QString()));
        binding.box->setCurrentIndex(static_cast<int>(std::max<qsizetype>(index, 0)));
    }
    loginCheck_->setChecked(Autostart::isEnabled());
    altGrNote_->setVisible(rightAltIsAltGr());
    fillMicrophones();
    modelsTab_->refresh();
    speechQualityTab_->refresh();
    dictionaryTab_->refresh();
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

void SettingsWindow::showCommandHelp()
{
    AlertPresenter::shared().present({QStringLiteral("Голосовые команды форматирования"),
                                      HelpTexts::voiceCommands(MacroStore::loadRaw(), QDateTime::currentDateTime()),
                                      {QStringLiteral("Понятно")}});
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
