#include "ui/settings/SettingsWindow.h"

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "engines/CustomModels.h"
#include "engines/ModelManager.h"
#include "engines/RecognitionSpeed.h"
#include "quality/AdvisorEngine.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/WindowShots.h"
#include "text/Corrections.h"
#include "text/WindowProfiles.h"
#include "ui/Glyphs.h"
#include "ui/settings/ModelsTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>

namespace
{

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
        // An emoji no installed font draws is left out of the title.
        const int index = box->findText(Glyphs::displayable(title));
        ASSERT_GE(index, 0) << title.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    QString entries(const char* popup) const
    {
        QStringList titles;
        for (int index = 0; index < part<QComboBox>(popup)->count(); ++index)
            titles.append(part<QComboBox>(popup)->itemText(index));
        return titles.join(u'|');
    }
    static QString stored(QLatin1String key) { return SettingsStore::shared().stringForKey(key).value_or(QString()); }
    QString lastAlert() const { return alerts.alerts.back().message; }

    // Each row of a table as its cells joined by " | ".
    QStringList rows(const char* name) const
    {
        const auto* table = part<QTableWidget>(name);
        QStringList result;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << (table->item(row, column) ? table->item(row, column)->text() : QString());
            result << cells.join(QStringLiteral(" | "));
        }
        return result;
    }
    void selectModel(const QString& title) const
    {
        auto* table = part<QTableWidget>("modelTable");
        table->selectRow(table->findItems(title, Qt::MatchExactly).value(0)->row());
    }
    // "activate download delete": the model buttons that are enabled.
    QString modelButtons() const
    {
        QStringList enabled;
        for (const char* word : {"activate", "download", "delete"})
            if (part((QByteArray(word) + "Btn").constData())->isEnabled())
                enabled << QLatin1String(word);
        return enabled.join(u' ');
    }
    static void placeModelFile(const QString& path, qint64 size, const char* magic = "lmgg")
    {
        QFile file(TestFiles::write(path, magic));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.resize(size));
    }
    // Clicks "+ Добавить пару…", types the two forms into the dialog and presses one of its buttons.
    void addPair(const char* wrong, const char* right, const char* button) const
    {
        QTimer::singleShot(0, [=] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit*>(QStringLiteral("wrongField"))->setText(QString::fromUtf8(wrong));
            dialog->findChild<QLineEdit*>(QStringLiteral("rightField"))->setText(QString::fromUtf8(right));
            for (QPushButton* candidate : dialog->findChildren<QPushButton*>())
                if (candidate->text() == QString::fromUtf8(button))
                    candidate->click();
        });
        click("addPairBtn");
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

TEST_F(SettingsWindowTest, EveryControlWritesItsSettingAtOnceAndAnUnpluggedMicrophoneStaysChosen)
{
    for (const auto& [name, key, tellsHotkeys] : {std::tuple{"soundsCheck", SettingsKey::sounds, false},
                                                  {"updatesCheck", SettingsKey::autoUpdateCheck, false},
                                                  {"pttCheck", SettingsKey::pttEnabled, true},
                                                  {"pasteCheck", SettingsKey::autoPaste, false},
                                                  {"spaceCheck", SettingsKey::appendSpace, false},
                                                  {"clipCheck", SettingsKey::restoreClipboard, false},
                                                  {"commandsCheck", SettingsKey::formattingEnabled, false},
                                                  {"autoFmtCheck", SettingsKey::autoFormat, false},
                                                  {"quotesCheck", SettingsKey::typographyQuotes, false},
                                                  {"dashesCheck", SettingsKey::typographyDashes, false},
                                                  {"numbersCheck", SettingsKey::typographyNumbers, false},
                                                  {"noBreakSpacesCheck", SettingsKey::typographyNoBreakSpaces, false},
                                                  {"romanCenturiesCheck", SettingsKey::typographyRomanCenturies, false},
                                                  {"minusSignCheck", SettingsKey::typographyMinusSign, false},
                                                  {"numberSignCheck", SettingsKey::typographyNumberSign, false},
                                                  {"ellipsisCheck", SettingsKey::typographyEllipsis, false}}) {
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
                                                   {"pttKeyPopup", "правый Ctrl", SettingsKey::pttKey, "rightCtrl"},
                                                   {"stylePopup", "Кошка 🐱", SettingsKey::advisorStyle, "cat"}}) {
        choose(popup, QString::fromUtf8(title));
        EXPECT_EQ(stored(key), QString::fromUtf8(value)) << popup;
    }
    choose("langPopup", QStringLiteral("Английский"));
    EXPECT_EQ(restarts, 1) << "only a new language restarts the recognizer";
    EXPECT_EQ(hotkeyChanges, 3);
    // The note on AltGr shows only where the layout makes the right Alt key AltGr.
    EXPECT_TRUE(part<QLabel>("altGrNote")->isHidden());
    settings.rightAltIsAltGr = [] { return true; };
    // The longest speed texts of the models tab.
    RecognitionSpeed::record(QStringLiteral("large-v3-turbo-q5_0"), 1000, 12300);
    RecognitionSpeed::record(QStringLiteral("gigaam-v3"), 6000, 250);
    RecognitionSpeed::record(QStringLiteral("small"), 1000, 800);
    settings.refresh();
    EXPECT_FALSE(part<QLabel>("altGrNote")->isHidden());
    part<QSlider>("intensitySlider")->setValue(7);
    EXPECT_EQ(SettingsStore::shared().integerForKey(SettingsKey::advisorIntensity), 7);
    EXPECT_EQ(part<QLabel>("intensityLabel")->text(), QStringLiteral("7 из 10"));

    // The microphone pop-up lists the sources and keeps an unplugged choice.
    EXPECT_EQ(entries("micPopup"), QStringLiteral("По умолчанию|Встроенный микрофон|Гарнитура"));
    choose("micPopup", QStringLiteral("Гарнитура"));
    EXPECT_EQ(stored(SettingsKey::inputDevice), QStringLiteral("bluez_input.headset"));

    // Closing only hides the window; opening it again asks the sound server anew.
    sources.pop_back();
    settings.window()->close();
    settings.showWindow();
    EXPECT_EQ(entries("micPopup"),
              QStringLiteral("По умолчанию|Встроенный микрофон|bluez_input.headset (не подключён)"));
    EXPECT_EQ(part<QComboBox>("micPopup")->currentIndex(), 2) << "still chosen";
    choose("micPopup", QStringLiteral("По умолчанию"));
    EXPECT_EQ(stored(SettingsKey::inputDevice), QString());
    EXPECT_EQ(entries("micPopup"), QStringLiteral("По умолчанию|Встроенный микрофон"));
}

TEST_F(SettingsWindowTest, LoginCheckBoxWritesAndRemovesTheAutostartEntryAndShowsWhatReallyHappened)
{
    const QString entry = Paths::autostartFile();
    click("loginCheck");
    EXPECT_TRUE(QFile::exists(entry));
    click("loginCheck");
    EXPECT_FALSE(QFile::exists(entry));

    // A file where the autostart folder belongs: the entry cannot be written.
    QDir(QFileInfo(entry).absolutePath()).removeRecursively();
    TestFiles::write(QFileInfo(entry).absolutePath(), "not a folder");
    click("loginCheck");
    EXPECT_EQ(alerts.messages(), QStringList{QStringLiteral("Не удалось изменить автозапуск")});
    EXPECT_FALSE(part<QCheckBox>("loginCheck")->isChecked());
}

TEST_F(SettingsWindowTest, AutopilotNeedsAnAnimalStyleOrTheAdvisorModelWhichIsDownloadedOnlyAfterAsking)
{
    part<QTabWidget>("tabs")->setCurrentIndex(5);
    for (const auto& [mode, visible] : {std::pair{"Выключено", false},
                                        {"Автоматически убирать паразитов", false},
                                        {"Подсвечивать и спрашивать", true}}) {
        choose("sqPopup", QString::fromUtf8(mode));
        EXPECT_EQ(part("advisorGroup")->isVisible(), visible) << mode;
    }
    const QString autopilot = QStringLiteral("Автопилот: ИИ переписывает сам");
    choose("sqPopup", autopilot);
    EXPECT_EQ(stored(SettingsKey::speechQuality), QStringLiteral("highlight"));
    EXPECT_EQ(lastAlert(), QStringLiteral("Автопилоту нужен советник"));
    choose("stylePopup", QStringLiteral("Собака 🐶"));
    choose("sqPopup", autopilot);
    EXPECT_EQ(stored(SettingsKey::speechQuality), QStringLiteral("autopilot"));

    choose("stylePopup", QStringLiteral("Как у автора"));
    choose("sqPopup", QStringLiteral("Подсвечивать и спрашивать"));
    alerts.answers = {QStringLiteral("Отмена")};
    click("advisorCheck");
    EXPECT_EQ(lastAlert(), QStringLiteral("Включить советника стиля?"));
    EXPECT_NE(AdvisorEngine::shared().state().kind, AdvisorEngine::State::downloading);

    // With the model on disk the box turns on without a question, and the autopilot becomes possible.
    placeModelFile(AdvisorEngine::shared().modelPath(), AdvisorEngine::ModelSizes{}.presentAbove + 1, "GGUF");
    click("advisorCheck");
    EXPECT_TRUE(SettingsStore::shared().boolForKey(SettingsKey::styleAdvisor));
    choose("sqPopup", autopilot);
    EXPECT_EQ(stored(SettingsKey::speechQuality), QStringLiteral("autopilot"));
    EXPECT_EQ(alerts.alerts.size(), 2U);
}

TEST_F(SettingsWindowTest, ModelTableShowsEachModelsStateOffersWhatFitsAndTakesTheUsersOwnFiles)
{
    placeModelFile(ModelCatalog::byID(QStringLiteral("small")).location(), 373'000'000);
    // Measured here: Turbo on three pieces, Small on one.
    for (const int ms : {2300, 2000, 2000})
        RecognitionSpeed::record(QStringLiteral("large-v3-turbo-q5_0"), 1000, ms);
    RecognitionSpeed::record(QStringLiteral("small"), 4000, 1200);
    settings.refresh();
    // A user who chose nothing, for Russian without a GPU build of whisper: GigaAM-v3.
    for (const auto& [title, row, buttons] :
         {std::tuple{"GigaAM-v3 (Сбер)", "GigaAM-v3 (Сбер) | 222 МБ | скорость не измерена | активна — не скачана",
                     "download"},
          {"Turbo v3", "Turbo v3 | 574 МБ | медленнее речи: 2,1× | не скачана", "download"},
          {"Small", "Small | 466 МБ | ≈ 0,3× длительности речи | скачана", "activate delete"},
          {"Medium", "Medium | 539 МБ | скорость не измерена | не скачана", "download"}}) {
        EXPECT_TRUE(rows("modelTable").contains(QString::fromUtf8(row)))
            << rows("modelTable").join(u'\n').toStdString();
        selectModel(QString::fromUtf8(title));
        EXPECT_EQ(modelButtons(), QLatin1String(buttons)) << title;
    }
    selectModel(QStringLiteral("Medium"));
    alerts.answers = {QStringLiteral("Отмена")};
    click("downloadBtn");
    EXPECT_TRUE(alerts.alerts.back().informativeText.startsWith(QStringLiteral("Она займёт ещё 539 МБ на диске")));
    EXPECT_TRUE(ModelManager::shared().progress().isEmpty()) << "cancelled";

    selectModel(QStringLiteral("Small"));
    alerts.answers = {QStringLiteral("Отмена"), QStringLiteral("Удалить")};
    click("deleteBtn");
    EXPECT_TRUE(QFile::exists(ModelCatalog::byID(QStringLiteral("small")).location())) << "cancelled";
    click("deleteBtn");
    EXPECT_TRUE(rows("modelTable").contains(QStringLiteral("Small | 466 МБ | ≈ 0,3× длительности речи | не скачана")));
    EXPECT_EQ(modelButtons(), QStringLiteral("download")) << "the selection stays on its model";

    placeModelFile(ModelCatalog::byID(QStringLiteral("small")).location(), 373'000'000);
    settings.refresh();
    click("activateBtn");
    EXPECT_EQ(stored(SettingsKey::modelID), QStringLiteral("small"));
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(rows("modelTable").contains(QStringLiteral("Small | 466 МБ | ≈ 0,3× длительности речи | ✓ активна")));

    // The user's own model files join the table; deleting one leaves the user's original.
    const QString folder = TestEnvironment::makeDirectory(QStringLiteral("downloads"));
    QString picked = TestFiles::write(folder + QStringLiteral("/notes.txt"), "hello");
    settings.modelsTab()->chooseModelFile = [&] { return picked; };
    click("addOwnModelBtn");
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastAlert() == QStringLiteral("Не удалось добавить модель"); }, 5000));

    picked = folder + QStringLiteral("/whisper-ru-finetune.bin");
    placeModelFile(picked, 3'200'000);
    click("addOwnModelBtn");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return rows("modelTable").value(6) ==
                   QStringLiteral("whisper-ru-finetune | 3 МБ | скорость не измерена | скачана");
        },
        5000));
    // The same name again: replaced only when the user says so.
    alerts.answers = {QStringLiteral("Отмена")};
    click("addOwnModelBtn");
    EXPECT_EQ(lastAlert(), QStringLiteral("Модель «whisper-ru-finetune» уже есть"));

    // From another file system the file is copied, on a worker thread.
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/tolvan-test-XXXXXX"));
    ASSERT_TRUE(elsewhere.isValid());
    picked = elsewhere.path() + QStringLiteral("/large-copy.bin");
    placeModelFile(picked, 40'000'000);
    click("addOwnModelBtn");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return rows("modelTable").value(6) == QStringLiteral("large-copy | 40 МБ | скорость не измерена | скачана");
        },
        10000))
        << rows("modelTable").join(u'\n').toStdString();
    EXPECT_TRUE(TestEnvironment::appLog().contains(QStringLiteral("Своя модель large-copy.bin добавлена (копия)")));
    selectModel(QStringLiteral("large-copy"));
    alerts.answers = {QStringLiteral("Удалить")};
    click("deleteBtn");
    selectModel(QStringLiteral("whisper-ru-finetune"));
    alerts.answers = {QStringLiteral("Удалить")};
    click("deleteBtn");
    EXPECT_EQ(rows("modelTable").size(), 6);
    EXPECT_TRUE(QFile::exists(picked));
}

TEST_F(SettingsWindowTest, DictionaryIsSortedByTheRecognizedFormAndEachChangeRestartsTheRecognizer)
{
    Corrections::save(
        {{QStringLiteral("яндекс"), QStringLiteral("Яндекс")}, {QStringLiteral("аймак"), QStringLiteral("iMac")}});
    settings.refresh();
    addPair("  Джира ", " Jira ", "Выучить");
    addPair("слак", "Slack", "Отмена");
    EXPECT_EQ(rows("dictTable"), (QStringList{QStringLiteral("аймак | iMac"), QStringLiteral("джира | Jira"),
                                              QStringLiteral("яндекс | Яндекс")}));
    EXPECT_EQ(restarts, 1);

    part<QTableWidget>("dictTable")->selectRow(0);
    alerts.answers = {QStringLiteral("Отмена"), QStringLiteral("Забыть")};
    click("removePairBtn");
    EXPECT_EQ(rows("dictTable").size(), 3);
    click("removePairBtn");
    EXPECT_EQ(alerts.messages().value(1), QStringLiteral("Забыть пару «аймак» → «iMac»?"));
    EXPECT_EQ(rows("dictTable"), (QStringList{QStringLiteral("джира | Jira"), QStringLiteral("яндекс | Яндекс")}));
    EXPECT_EQ(restarts, 2);

    // Learning from the user's fixes is off until asked for.
    EXPECT_FALSE(part<QCheckBox>("learnFromFixesCheck")->isChecked());
    click("learnFromFixesCheck");
    EXPECT_TRUE(SettingsStore::shared().boolForKey(SettingsKey::learnFromCorrections));
}

TEST_F(SettingsWindowTest, AProgramAddedFromTheLastPasteTargetsGetsTheChosenProfileUntilItsRuleIsRemoved)
{
    const QStringList xterm{QStringLiteral("xterm"), QStringLiteral("XTerm")};
    WindowProfiles::notePasteTarget({QStringLiteral("telegram-desktop"), QStringLiteral("TelegramDesktop")});
    WindowProfiles::notePasteTarget(xterm);
    settings.refresh();
    const auto offered = [this] {
        click("addProgramBtn");
        auto* menu = settings.window()->findChild<QMenu*>(QStringLiteral("addProgramMenu"));
        QStringList titles;
        for (QAction* action : menu->actions())
            titles << action->text();
        return std::pair{menu, titles};
    };
    auto [menu, titles] = offered();
    EXPECT_EQ(titles.filter(QStringLiteral("недавно")),
              (QStringList{QStringLiteral("xterm — куда недавно вставлялся текст"),
                           QStringLiteral("telegramdesktop — куда недавно вставлялся текст")}));
    EXPECT_EQ(titles.last(), QStringLiteral("Другая программа…"));
    menu->actions()
        .value(static_cast<int>(titles.indexOf(QStringLiteral("xterm — куда недавно вставлялся текст"))))
        ->trigger();
    delete menu;

    // It starts with the profile it had; the user's choice is stored at once and beats the built-in rule.
    EXPECT_EQ(rows("appProfilesTable"), QStringList{QStringLiteral("xterm | ")});
    EXPECT_EQ(part<QComboBox>("ruleProfilePopup")->currentText(), QStringLiteral("Терминал"));
    choose("ruleProfilePopup", QStringLiteral("Без обработки"));
    EXPECT_EQ(SettingsStore::shared().stringArrayForKey(SettingsKey::appProfiles), QStringList{"xterm=raw"});
    EXPECT_EQ(WindowProfiles::forWindow(xterm), TextProfile::raw);
    std::tie(menu, titles) = offered();
    EXPECT_FALSE(titles.join(u'|').contains(QStringLiteral("xterm"))) << "a program with a rule is not offered again";
    delete menu;

    part<QTableWidget>("appProfilesTable")->selectRow(0);
    click("removeProgramBtn");
    EXPECT_TRUE(rows("appProfilesTable").isEmpty());
    EXPECT_EQ(WindowProfiles::forWindow(xterm), TextProfile::terminal);
    choose("defaultProfilePopup", QStringLiteral("Переписка"));
    EXPECT_EQ(stored(SettingsKey::defaultProfile), QStringLiteral("chat"));
}

// The tabs are looked at (and pictured) at 1x and, as a second ctest entry, at 2x.
TEST_F(SettingsWindowTest, EightTabsInOrderEachFittingItsTextsAndTheHelpListsTheUsersMacros)
{
    placeModelFile(CustomModels::directory() + QStringLiteral("/ggml-large-v3-russian-finetune-q5_0.bin"), 1'000'000);
    Corrections::save({{QStringLiteral("гитхаб"), QStringLiteral("GitHub")}});
    // As on a desktop without a tray: the app's menu on top, until a tray comes.
    QMenu appMenu;
    settings.offerAppMenu(&appMenu);
    // With the longest keys tab: the note of a layout whose right Alt is AltGr.
    settings.rightAltIsAltGr = [] { return true; };
    // The longest speed texts of the models tab.
    RecognitionSpeed::record(QStringLiteral("large-v3-turbo-q5_0"), 1000, 12300);
    RecognitionSpeed::record(QStringLiteral("gigaam-v3"), 6000, 250);
    RecognitionSpeed::record(QStringLiteral("small"), 1000, 800);
    // The rules of a user who chose profiles.
    WindowProfiles::setUserRules(
        {{QStringLiteral("org.telegram.desktop"), TextProfile::raw}, {QStringLiteral("konsole"), TextProfile::chat}});
    settings.refresh();
    auto* tabs = part<QTabWidget>("tabs");
    QStringList titles;
    for (int index = 0; index < tabs->count(); ++index) {
        titles << tabs->tabText(index);
        tabs->setCurrentIndex(index);
        QCoreApplication::processEvents();
        WindowShots::expectTextsFit(settings.window());
        WindowShots::save(settings.window(), QStringLiteral("settings-%1").arg(index + 1));
    }
    EXPECT_EQ(titles.join(u'|'),
              QStringLiteral("Основные|Модель|Клавиши|Вставка|Форматирование|Грамотная речь|Словарь|Приложения"));
    EXPECT_EQ(part<QPushButton>("appMenuBtn")->menu(), &appMenu);
    settings.offerAppMenu(nullptr);
    EXPECT_FALSE(part("appMenuRow")->isVisible());

    click("commandsHelpBtn");
    EXPECT_EQ(lastAlert(), QStringLiteral("Голосовые команды форматирования"));
    EXPECT_TRUE(alerts.alerts.back().informativeText.contains(
        QStringLiteral("• «подпись.» → — / С уважением, / <ваше имя> / <телефон или почта>\n")));
}
