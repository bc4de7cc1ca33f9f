#include "app/SettingsWindow.h"

#include "app/ModelsTab.h"
#include "core/Paths.h"
#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "engines/CustomModels.h"
#include "engines/ModelManager.h"
#include "quality/AdvisorEngine.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/WindowShots.h"
#include "text/Corrections.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>

namespace
{

constexpr qint64 megabyte = 1'000'000;

class SettingsWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        settings.listAudioSources = [this] { return sources; };
        settings.restartEngine = [this] { ++restarts; };
        settings.onHotkeysChanged = [this] { ++hotkeyChanges; };
        settings.showWindow();
    }

    template <typename T = QWidget> T* part(const char* name) const
    {
        T* widget = settings.window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) const { part<QAbstractButton>(name)->click(); }
    void choose(const char* popup, const QString& title) const
    {
        QComboBox* box = part<QComboBox>(popup);
        const int index = box->findText(title);
        ASSERT_GE(index, 0) << title.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    QStringList entries(const char* popup) const
    {
        QStringList titles;
        for (int index = 0; index < part<QComboBox>(popup)->count(); ++index)
            titles.append(part<QComboBox>(popup)->itemText(index));
        return titles;
    }
    static QString stored(QLatin1String key) { return SettingsStore::shared().stringForKey(key).value_or(QString()); }

    QTableWidget* table(const char* name) const { return part<QTableWidget>(name); }
    int rowOf(const char* tableName, const QString& title) const
    {
        const QList<QTableWidgetItem*> found = table(tableName)->findItems(title, Qt::MatchExactly);
        return found.isEmpty() ? -1 : found.first()->row();
    }
    QString modelStatus(const QString& title) const
    {
        return table("modelTable")->item(rowOf("modelTable", title), 2)->text();
    }
    void selectModel(const QString& title) const { table("modelTable")->selectRow(rowOf("modelTable", title)); }
    // "activate download delete": the model buttons that are enabled.
    QString modelButtons() const
    {
        QStringList enabled;
        for (const auto& [name, word] :
             {std::pair{"activateBtn", "activate"}, {"downloadBtn", "download"}, {"deleteBtn", "delete"}})
            if (part(name)->isEnabled())
                enabled << QLatin1String(word);
        return enabled.join(u' ');
    }
    static void placeModelFile(const QString& path, qint64 size)
    {
        QFile file(TestFiles::write(path, "lmgg"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.resize(size));
    }

    QStringList dictionaryRows() const
    {
        QStringList rows;
        for (int row = 0; row < table("dictTable")->rowCount(); ++row)
            rows << table("dictTable")->item(row, 0)->text() + QStringLiteral(" → ") +
                        table("dictTable")->item(row, 1)->text();
        return rows;
    }
    // Clicks "+ Добавить пару…", types the two forms into the dialog and presses one of its buttons.
    void addPair(const QString& wrong, const QString& right, const QString& button) const
    {
        QTimer poll;
        bool answered = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || answered)
                return;
            answered = true;
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Новая пара словаря"));
            dialog->findChild<QLineEdit*>(QStringLiteral("wrongField"))->setText(wrong);
            dialog->findChild<QLineEdit*>(QStringLiteral("rightField"))->setText(right);
            for (QPushButton* candidate : dialog->findChildren<QPushButton*>())
                if (candidate->text() == button)
                    candidate->click();
        });
        poll.start(10);
        click("addPairBtn");
        EXPECT_TRUE(answered);
    }

    ScriptedAlertPresenter alerts;
    std::vector<AudioSource> sources{
        {QStringLiteral("alsa_input.pci-0000_00_1f.3.analog-stereo"), QStringLiteral("Встроенный микрофон")},
        {QStringLiteral("bluez_input.headset"), QStringLiteral("Гарнитура")}};
    SettingsWindow settings;
    int restarts = 0;
    int hotkeyChanges = 0;
};

} // namespace

TEST_F(SettingsWindowTest, EveryCheckBoxAndPopUpWritesItsSettingAtOnce)
{
    for (const auto& [name, key, tellsHotkeys] : {std::tuple{"soundsCheck", SettingsKey::sounds, false},
                                                  {"updatesCheck", SettingsKey::autoUpdateCheck, false},
                                                  {"pttCheck", SettingsKey::pttEnabled, true},
                                                  {"pasteCheck", SettingsKey::autoPaste, false},
                                                  {"spaceCheck", SettingsKey::appendSpace, false},
                                                  {"clipCheck", SettingsKey::restoreClipboard, false},
                                                  {"commandsCheck", SettingsKey::formattingEnabled, false},
                                                  {"autoFmtCheck", SettingsKey::autoFormat, false}}) {
        const bool before = SettingsStore::shared().boolForKey(key);
        EXPECT_EQ(part<QCheckBox>(name)->isChecked(), before) << name;
        const int hotkeysBefore = hotkeyChanges;
        click(name);
        EXPECT_EQ(SettingsStore::shared().boolForKey(key), !before) << name;
        EXPECT_EQ(hotkeyChanges - hotkeysBefore, tellsHotkeys ? 1 : 0) << name;
    }

    for (const auto& [popup, title, key, value] : {std::tuple{"langPopup", "Английский", SettingsKey::language, "en"},
                                                   {"formatPopup", "Обычный текст", SettingsKey::outputFormat, "plain"},
                                                   {"hotkeyPopup", "F6", SettingsKey::togglePreset, "f6"},
                                                   {"stylePopup", "Кошка 🐱", SettingsKey::advisorStyle, "cat"}}) {
        choose(popup, QString::fromUtf8(title));
        EXPECT_EQ(stored(key), QString::fromUtf8(value)) << popup;
    }
    EXPECT_EQ(restarts, 1) << "only the language restarts the recognizer";
    EXPECT_EQ(hotkeyChanges, 2);
    EXPECT_EQ(entries("hotkeyPopup").join(u'|'), QStringLiteral("Super+Shift+Пробел|Alt+Пробел|F6|Выключен"));
    EXPECT_EQ(part<QCheckBox>("pttCheck")->text(),
              QStringLiteral("Рация: удерживать правый Alt (отпустил — вставилось)"));

    // Values written by hand that name no entry select the first one.
    SettingsStore::shared().setString(SettingsKey::language, QStringLiteral("de"));
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("ctrlSpace"));
    settings.refresh();
    EXPECT_EQ(part<QComboBox>("langPopup")->currentText(), QStringLiteral("Русский"));
    EXPECT_EQ(part<QComboBox>("hotkeyPopup")->currentText(), QStringLiteral("Super+Shift+Пробел"));
}

TEST_F(SettingsWindowTest, MicrophonePopUpListsTheSourcesAndKeepsAnUnpluggedChoice)
{
    EXPECT_EQ(entries("micPopup").join(u'|'), QStringLiteral("По умолчанию|Встроенный микрофон|Гарнитура"));
    EXPECT_EQ(part<QComboBox>("micPopup")->currentIndex(), 0);
    choose("micPopup", QStringLiteral("Гарнитура"));
    EXPECT_EQ(stored(SettingsKey::inputDevice), QStringLiteral("bluez_input.headset"));

    // Closing only hides the window; opening it again asks the sound server anew.
    QWidget* window = settings.window();
    sources.pop_back();
    window->close();
    EXPECT_FALSE(window->isVisible());
    settings.showWindow();
    EXPECT_EQ(settings.window(), window);
    EXPECT_EQ(entries("micPopup").join(u'|'),
              QStringLiteral("По умолчанию|Встроенный микрофон|bluez_input.headset (не подключён)"));
    EXPECT_EQ(part<QComboBox>("micPopup")->currentIndex(), 2);

    choose("micPopup", QStringLiteral("По умолчанию"));
    EXPECT_EQ(stored(SettingsKey::inputDevice), QString());
    EXPECT_EQ(entries("micPopup").size(), 2);
}

TEST_F(SettingsWindowTest, LoginCheckBoxWritesAndRemovesTheAutostartEntryAndShowsWhatReallyHappened)
{
    const QString entry = Paths::autostartFile();
    EXPECT_FALSE(part<QCheckBox>("loginCheck")->isChecked());
    click("loginCheck");
    EXPECT_TRUE(part<QCheckBox>("loginCheck")->isChecked());
    const QString content = QString::fromUtf8(TestFiles::read(entry));
    EXPECT_TRUE(
        content.contains(QStringLiteral("\nExec=\"") + Resources::applicationExecutable() + QStringLiteral("\"\n")))
        << content.toStdString();

    click("loginCheck");
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(part<QCheckBox>("loginCheck")->isChecked());

    // A file where the autostart folder belongs: the entry cannot be written.
    QDir(QFileInfo(entry).absolutePath()).removeRecursively();
    TestFiles::write(QFileInfo(entry).absolutePath(), "not a folder");
    click("loginCheck");
    ASSERT_EQ(alerts.messages(), QStringList{QStringLiteral("Не удалось изменить автозапуск")});
    EXPECT_TRUE(alerts.alerts.back().informativeText.startsWith(QStringLiteral("не удалось создать папку")));
    EXPECT_EQ(alerts.alerts.back().buttons, QStringList{QStringLiteral("Понятно")});
    EXPECT_FALSE(part<QCheckBox>("loginCheck")->isChecked());
}

TEST_F(SettingsWindowTest, AutopilotNeedsAnAnimalStyleOrTheAdvisorModel)
{
    part<QTabWidget>("tabs")->setCurrentIndex(5);
    EXPECT_TRUE(part("advisorGroup")->isVisible());
    for (const auto& [mode, visible] : {std::pair{"Выключено", false},
                                        {"Автоматически убирать паразитов", false},
                                        {"Подсвечивать и спрашивать", true}}) {
        choose("sqPopup", QString::fromUtf8(mode));
        EXPECT_EQ(part("advisorGroup")->isVisible(), visible) << mode;
    }

    choose("sqPopup", QStringLiteral("Автопилот: ИИ переписывает сам"));
    EXPECT_EQ(stored(SettingsKey::speechQuality), QStringLiteral("highlight"));
    EXPECT_EQ(part<QComboBox>("sqPopup")->currentText(), QStringLiteral("Подсвечивать и спрашивать"));
    ASSERT_EQ(alerts.messages(), QStringList{QStringLiteral("Автопилоту нужен советник")});
    EXPECT_EQ(alerts.alerts.back().informativeText,
              QStringLiteral("Сначала включите «Советник стиля» на этой вкладке — приложение загрузит ИИ-модель, и "
                             "автопилот станет доступен."));

    choose("stylePopup", QStringLiteral("Собака 🐶"));
    choose("sqPopup", QStringLiteral("Автопилот: ИИ переписывает сам"));
    EXPECT_EQ(stored(SettingsKey::speechQuality), QStringLiteral("autopilot"));
    EXPECT_TRUE(part("advisorGroup")->isVisible());
    EXPECT_EQ(alerts.alerts.size(), 1U);
}

TEST_F(SettingsWindowTest, AdvisorCheckBoxAsksBeforeDownloadingAndCancelLeavesItOff)
{
    alerts.answers = {QStringLiteral("Отмена")};
    click("advisorCheck");
    ASSERT_EQ(alerts.messages(), QStringList{QStringLiteral("Включить советника стиля?")});
    EXPECT_EQ(alerts.alerts.back().buttons,
              (QStringList{QStringLiteral("Загрузить и включить"), QStringLiteral("Отмена")}));
    EXPECT_FALSE(part<QCheckBox>("advisorCheck")->isChecked());
    EXPECT_FALSE(SettingsStore::shared().boolForKey(SettingsKey::styleAdvisor));
    EXPECT_NE(AdvisorEngine::shared().state().kind, AdvisorEngine::State::downloading);
    EXPECT_EQ(part<QLabel>("advisorStatus")->text(), QStringLiteral("Выключен — переписанные варианты недоступны"));

    // With the model on disk the box turns on without a question, and the autopilot becomes possible.
    QFile model(TestFiles::write(AdvisorEngine::shared().modelPath(), "GGUF"));
    ASSERT_TRUE(model.open(QIODevice::ReadWrite) && model.resize(AdvisorEngine::ModelSizes{}.presentAbove + 1));
    click("advisorCheck");
    EXPECT_TRUE(part<QCheckBox>("advisorCheck")->isChecked());
    EXPECT_TRUE(SettingsStore::shared().boolForKey(SettingsKey::styleAdvisor));
    choose("sqPopup", QStringLiteral("Автопилот: ИИ переписывает сам"));
    EXPECT_EQ(stored(SettingsKey::speechQuality), QStringLiteral("autopilot"));
    click("advisorCheck");
    EXPECT_FALSE(SettingsStore::shared().boolForKey(SettingsKey::styleAdvisor));
    EXPECT_EQ(alerts.alerts.size(), 1U);
}

TEST_F(SettingsWindowTest, IntensitySliderStoresItsValueWithinTen)
{
    part<QSlider>("intensitySlider")->setValue(7);
    EXPECT_EQ(SettingsStore::shared().integerForKey(SettingsKey::advisorIntensity), 7);
    EXPECT_EQ(part<QLabel>("intensityLabel")->text(), QStringLiteral("7 из 10"));
    QSettings(Paths::settingsFile(), QSettings::IniFormat).setValue(SettingsKey::advisorIntensity, 14);
    settings.refresh();
    EXPECT_EQ(part<QSlider>("intensitySlider")->value(), 10);
    EXPECT_EQ(part<QLabel>("intensityLabel")->text(), QStringLiteral("10 из 10"));
}

TEST_F(SettingsWindowTest, ModelTableShowsEachModelsStateAndOffersWhatFits)
{
    placeModelFile(ModelCatalog::byID(QStringLiteral("small")).location(), 373 * megabyte);
    settings.refresh();
    EXPECT_EQ(table("modelTable")->rowCount(), 6);
    EXPECT_EQ(table("modelTable")->item(rowOf("modelTable", QStringLiteral("Small")), 1)->text(),
              QStringLiteral("466 МБ"));
    for (const auto& [title, status, buttons] : {std::tuple{"Turbo v3", "✓ активна", "download"},
                                                 {"Small", "скачана", "activate delete"},
                                                 {"Medium", "не скачана", "download"}}) {
        EXPECT_EQ(modelStatus(QString::fromUtf8(title)), QString::fromUtf8(status)) << title;
        selectModel(QString::fromUtf8(title));
        EXPECT_EQ(modelButtons(), QLatin1String(buttons)) << title;
    }
    table("modelTable")->clearSelection();
    EXPECT_EQ(modelButtons(), QString());
    EXPECT_EQ(part<QLabel>("diskLabel")->text(), QStringLiteral("Занято моделями на диске: 0.3 ГБ"));

    selectModel(QStringLiteral("Medium"));
    alerts.answers = {QStringLiteral("Отмена")};
    click("downloadBtn");
    EXPECT_EQ(alerts.alerts.back().message, QStringLiteral("Загрузить модель «Medium»?"));
    EXPECT_EQ(alerts.alerts.back().informativeText,
              QStringLiteral("Она займёт ещё 539 МБ на диске (сейчас моделями занято 0.3 ГБ). Ненужные модели можно "
                             "удалять на этой же вкладке."));
    EXPECT_TRUE(ModelManager::shared().progress().isEmpty());

    selectModel(QStringLiteral("Small"));
    alerts.answers = {QStringLiteral("Отмена"), QStringLiteral("Удалить")};
    click("deleteBtn");
    EXPECT_EQ(alerts.alerts.back().message, QStringLiteral("Удалить «Small» с диска?"));
    EXPECT_EQ(alerts.alerts.back().informativeText,
              QStringLiteral("Освободится 466 МБ. При повторном выборе модель скачается заново."));
    EXPECT_EQ(modelStatus(QStringLiteral("Small")), QStringLiteral("скачана"));
    click("deleteBtn");
    EXPECT_EQ(modelStatus(QStringLiteral("Small")), QStringLiteral("не скачана"));
    EXPECT_EQ(modelButtons(), QStringLiteral("download")) << "the selection stays on its model";

    placeModelFile(ModelCatalog::byID(QStringLiteral("small")).location(), 373 * megabyte);
    settings.refresh();
    click("activateBtn");
    EXPECT_EQ(stored(SettingsKey::modelID), QStringLiteral("small"));
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(modelStatus(QStringLiteral("Small")), QStringLiteral("✓ активна"));
    EXPECT_EQ(modelStatus(QStringLiteral("Turbo v3")), QStringLiteral("не скачана"));
    EXPECT_EQ(modelButtons(), QString());
}

TEST_F(SettingsWindowTest, ADownloadShowsItsProgressAndCannotBeStartedTwice)
{
    // The hub sends half of the file and then keeps the connection waiting.
    HttpResponse half = HttpResponse::text(200, QByteArray(1000, 'x'), "application/octet-stream");
    half.chunkSize = 500;
    half.chunkIntervalMs = 60'000;
    LocalHttpServer hub([&](const HttpRequest&) { return half; });
    ASSERT_TRUE(hub.listen());
    qputenv("TOLVAN_MODEL_HUB", hub.url(QStringLiteral("/")).toString().chopped(1).toUtf8());
    qputenv("TOLVAN_MODEL_MIRROR", hub.url(QStringLiteral("/")).toString().chopped(1).toUtf8());
    selectModel(QStringLiteral("Medium"));
    alerts.answers = {QStringLiteral("Загрузить")};
    click("downloadBtn");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            settings.refresh();
            return modelStatus(QStringLiteral("Medium")) == QStringLiteral("загрузка 50%…");
        },
        10000))
        << modelStatus(QStringLiteral("Medium")).toStdString();
    EXPECT_EQ(modelButtons(), QString());
    EXPECT_EQ(hub.requests().size(), 1);
}

TEST_F(SettingsWindowTest, OwnModelFilesJoinTheTableAndWorkLikeTheOthers)
{
    const QString folder = TestEnvironment::makeDirectory(QStringLiteral("downloads"));
    const QString own = folder + QStringLiteral("/whisper-ru-finetune.bin");
    placeModelFile(own, 3'200'000);
    TestFiles::write(folder + QStringLiteral("/notes.txt"), "hello");
    QString picked;
    settings.modelsTab()->chooseModelFile = [&] { return picked; };

    picked = folder + QStringLiteral("/notes.txt");
    click("addOwnModelBtn");
    ASSERT_EQ(alerts.messages(), QStringList{QStringLiteral("Не удалось добавить модель")});
    EXPECT_EQ(alerts.alerts.back().informativeText,
              QStringLiteral("«notes.txt» — не модель whisper.cpp: файл не начинается с сигнатуры ggml."));
    EXPECT_TRUE(QDir(CustomModels::directory()).isEmpty(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot));

    picked = own;
    click("addOwnModelBtn");
    EXPECT_TRUE(QFile::exists(CustomModels::directory() + QStringLiteral("/whisper-ru-finetune.bin")));
    EXPECT_EQ(table("modelTable")->rowCount(), 7);
    EXPECT_EQ(rowOf("modelTable", QStringLiteral("whisper-ru-finetune")), 6);
    EXPECT_EQ(table("modelTable")->item(6, 1)->text(), QStringLiteral("3 МБ"));
    EXPECT_EQ(modelStatus(QStringLiteral("whisper-ru-finetune")), QStringLiteral("скачана"));

    selectModel(QStringLiteral("whisper-ru-finetune"));
    click("activateBtn");
    EXPECT_EQ(stored(SettingsKey::modelID), QStringLiteral("custom:whisper-ru-finetune.bin"));
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(modelStatus(QStringLiteral("whisper-ru-finetune")), QStringLiteral("✓ активна"));
    EXPECT_EQ(modelButtons(), QString());

    SettingsStore::shared().setString(SettingsKey::modelID, QStringLiteral("small"));
    settings.refresh();
    alerts.answers = {QStringLiteral("Удалить")};
    click("deleteBtn");
    EXPECT_EQ(alerts.alerts.back().informativeText,
              QStringLiteral("Освободится 3 МБ. Файл будет удалён из папки своих моделей — чтобы вернуть модель, "
                             "добавьте его снова."));
    EXPECT_FALSE(QFile::exists(CustomModels::directory() + QStringLiteral("/whisper-ru-finetune.bin")));
    EXPECT_TRUE(QFile::exists(own)) << "the user's original stays where it was";
    EXPECT_EQ(table("modelTable")->rowCount(), 6);
}

TEST_F(SettingsWindowTest, DictionaryIsSortedByTheRecognizedFormAndEachChangeRestartsTheRecognizer)
{
    Corrections::save({{QStringLiteral("яндекс"), QStringLiteral("Яндекс")},
                       {QStringLiteral("аймак"), QStringLiteral("iMac")},
                       {QStringLiteral("гитхаб"), QStringLiteral("GitHub")}});
    settings.refresh();
    EXPECT_EQ(dictionaryRows(), (QStringList{QStringLiteral("аймак → iMac"), QStringLiteral("гитхаб → GitHub"),
                                             QStringLiteral("яндекс → Яндекс")}));

    addPair(QStringLiteral("  Джира "), QStringLiteral(" Jira "), QStringLiteral("Выучить"));
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(dictionaryRows().contains(QStringLiteral("джира → Jira"))) << dictionaryRows().join(u';').toStdString();
    for (const auto& [wrong, right, button] :
         {std::tuple{"   ", "Тест", "Выучить"}, {"тест", "", "Выучить"}, {"слак", "Slack", "Отмена"}})
        addPair(QString::fromUtf8(wrong), QString::fromUtf8(right), QString::fromUtf8(button));
    EXPECT_EQ(dictionaryRows().size(), 4);
    EXPECT_EQ(restarts, 1);

    table("dictTable")->selectRow(0);
    alerts.answers = {QStringLiteral("Отмена"), QStringLiteral("Забыть")};
    click("removePairBtn");
    EXPECT_EQ(alerts.alerts.back().message, QStringLiteral("Забыть пару «аймак» → «iMac»?"));
    EXPECT_EQ(dictionaryRows().size(), 4);
    click("removePairBtn");
    EXPECT_EQ(dictionaryRows(), (QStringList{QStringLiteral("гитхаб → GitHub"), QStringLiteral("джира → Jira"),
                                             QStringLiteral("яндекс → Яндекс")}));
    EXPECT_EQ(restarts, 2);
}

TEST_F(SettingsWindowTest, HelpButtonsExplainModelsCommandsAndRules)
{
    click("modelHelpBtn");
    click("commandsHelpBtn");
    click("rulesHelpBtn");
    ASSERT_EQ(alerts.messages(),
              (QStringList{QStringLiteral("Какую модель выбрать?"), QStringLiteral("Голосовые команды форматирования"),
                           QStringLiteral("Что ищет «Грамотная речь»")}));
    EXPECT_TRUE(alerts.alerts[0].informativeText.contains(QStringLiteral("Понимает только русский")));
    // The user's own macros are listed: the default file has these two.
    EXPECT_TRUE(alerts.alerts[1].informativeText.contains(QStringLiteral("• «дата.» → ")));
    EXPECT_TRUE(alerts.alerts[1].informativeText.contains(
        QStringLiteral("• «подпись.» → — / С уважением, / <ваше имя> / <телефон или почта>\n")));
    EXPECT_TRUE(alerts.alerts[2].informativeText.contains(QStringLiteral("Оценка от 1 до 5")));
}

TEST_F(SettingsWindowTest, SevenTabsInOrderEachFittingItsTexts)
{
    EXPECT_EQ(settings.window()->windowTitle(), QStringLiteral("Настройки Толвана"));
    placeModelFile(CustomModels::directory() + QStringLiteral("/ggml-large-v3-russian-finetune-q5_0.bin"), megabyte);
    Corrections::save({{QStringLiteral("гитхаб"), QStringLiteral("GitHub")}});
    settings.refresh();
    auto* tabs = part<QTabWidget>("tabs");
    QStringList titles;
    for (int index = 0; index < tabs->count(); ++index) {
        titles << tabs->tabText(index);
        tabs->setCurrentIndex(index);
        QTest::qWait(10);
        WindowShots::expectTextsFit(settings.window());
        WindowShots::save(settings.window(), QStringLiteral("settings-%1").arg(index + 1));
    }
    EXPECT_EQ(titles.join(u'|'),
              QStringLiteral("Основные|Модель|Клавиши|Вставка|Форматирование|Грамотная речь|Словарь"));
}
