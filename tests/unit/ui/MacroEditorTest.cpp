#include "ui/MacroEditor.h"

#include "support/ScriptedAlertPresenter.h"
#include "support/WindowShots.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

class MacroEditorTest : public testing::Test
{
protected:
    template <typename T = QWidget> T* part(const char* name) const
    {
        T* widget = editor.window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) const { part<QPushButton>(name)->click(); }
    QListWidget* list() const { return part<QListWidget>("triggerList"); }
    QString field() const { return part<QLineEdit>("triggerField")->text(); }
    QString text() const { return part<QPlainTextEdit>("textView")->toPlainText(); }
    static QStringList stored()
    {
        QStringList triggers;
        for (const MacroPair& macro : MacroStore::loadRaw())
            triggers << macro.trigger;
        return triggers;
    }
    // Types a new trigger phrase and ends the editing as the Return key does.
    void rename(const QString& trigger) const
    {
        part<QLineEdit>("triggerField")->setText(trigger);
        emit part<QLineEdit>("triggerField")->editingFinished();
    }

    ScriptedAlertPresenter alerts;
    MacroEditor editor;
};

} // namespace

TEST_F(MacroEditorTest, AddingRenamingRemovingAndTypingAreSavedEvenWhenTheWindowWasClosed)
{
    MacroStore::saveRaw({{"Новый макрос", "старый"}});
    editor.open();
    click("addBtn");
    click("addBtn");
    EXPECT_EQ(stored(), (QStringList{"Новый макрос", "новый макрос 2", "новый макрос 3"}));
    EXPECT_EQ(list()->currentRow(), 2);
    EXPECT_EQ(part<QLineEdit>("triggerField")->selectedText(), "новый макрос 3");

    rename("  новый МАКРОС ");
    rename("   ");
    EXPECT_EQ(alerts.messages(), QStringList{"Триггер «новый МАКРОС» уже есть"});
    EXPECT_EQ(field(), "новый макрос 3");
    list()->setCurrentRow(0);
    rename(" юридический адрес ");
    EXPECT_EQ(stored(), (QStringList{"новый макрос 2", "новый макрос 3", "юридический адрес"}));
    EXPECT_EQ(list()->currentRow(), 2) << "the selection follows the renamed macro";
    EXPECT_EQ(text(), "старый");

    // Removing asks first and selects the row that takes the place of the removed one.
    alerts.answers = {"Отмена", "Удалить", "Удалить", "Удалить"};
    click("removeBtn");
    EXPECT_EQ(alerts.messages().last(), "Удалить макрос «юридический адрес»?");
    EXPECT_EQ(stored().size(), 3);
    click("removeBtn");
    EXPECT_EQ(stored(), (QStringList{"новый макрос 2", "новый макрос 3"}));
    EXPECT_EQ(list()->currentRow(), 1) << "the new last row";
    EXPECT_EQ(field(), "новый макрос 3");

    part<QPlainTextEdit>("textView")->setPlainText("Иван Петров");
    editor.window()->close();
    EXPECT_TRUE(
        QTest::qWaitFor([] { return MacroStore::loadNormalized().value("новый макрос 3") == "Иван Петров"; }, 3000));

    editor.open();
    list()->setCurrentRow(0);
    click("removeBtn");
    EXPECT_EQ(field(), "новый макрос 3");
    EXPECT_EQ(text(), "Иван Петров");
    click("removeBtn");
    EXPECT_TRUE(stored().isEmpty());
    // Nothing selected: both fields empty and closed to editing.
    EXPECT_EQ(list()->currentRow(), -1);
    EXPECT_TRUE(field().isEmpty() && text().isEmpty());
    EXPECT_FALSE(part("triggerField")->isEnabled() || part("removeBtn")->isEnabled());
    EXPECT_TRUE(part<QPlainTextEdit>("textView")->isReadOnly());
}

TEST_F(MacroEditorTest, AFileChangedByAnotherProgramWhileTheWindowIsOpenIsReadAgainAndKeepsBothEdits)
{
    MacroStore::saveRaw({{"подпись", "старая"}});
    editor.open();
    MacroStore::saveRaw({{"подпись", "старая"}, {"адрес", "Москва"}});
    part<QPlainTextEdit>("textView")->setPlainText("Иван Петров");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.alerts.empty(); }, 3000));
    EXPECT_EQ(alerts.messages(), QStringList{"macros.json изменён другой программой"});
    const QHash<QString, QString> macros = MacroStore::loadNormalized();
    EXPECT_EQ(macros.value("адрес"), "Москва");
    EXPECT_EQ(macros.value("подпись"), "Иван Петров");
    EXPECT_EQ(list()->count(), 2);
    EXPECT_EQ(field(), "подпись");

    // The window's own writes are no change from elsewhere.
    click("addBtn");
    EXPECT_EQ(alerts.alerts.size(), 1U);
    EXPECT_EQ(stored(), (QStringList{"адрес", "новый макрос", "подпись"}));
}

// Looked at (and pictured) at 1x and, as a second ctest entry, at 2x.
TEST_F(MacroEditorTest, FileButtonOpensMacrosJsonAndTheHintShowsTodaysValues)
{
    QList<QUrl> opened;
    editor.openUrl = [&](const QUrl& url) {
        opened << url;
        return true;
    };
    editor.open();
    click("fileBtn");
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(MacroStore::filePath())});
    EXPECT_TRUE(QFile::exists(MacroStore::filePath()));
    const QString values = MacroStore::substitutePlaceholders("{дата} · {дата_кратко} · {время}");
    EXPECT_TRUE(part<QLabel>("hint")->text().startsWith(
        "Подстановки внутри текста: {дата}, {дата_кратко}, {время} — сейчас это: " + values + ".\n"))
        << part<QLabel>("hint")->text().toStdString();
    WindowShots::expectTextsFit(editor.window());
    WindowShots::save(editor.window(), "macros");
}
