#include "text/MacroEditor.h"

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
    void open(const std::vector<MacroPair>& macros)
    {
        MacroStore::saveRaw(macros);
        editor.open();
    }

    template <typename T = QWidget> T* part(const char* name) const
    {
        T* widget = editor.window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) const { part<QPushButton>(name)->click(); }
    QStringList triggers() const
    {
        QStringList shown;
        for (int row = 0; row < part<QListWidget>("triggerList")->count(); ++row)
            shown << part<QListWidget>("triggerList")->item(row)->text();
        return shown;
    }
    static QStringList storedTriggers()
    {
        QStringList stored;
        for (const MacroPair& macro : MacroStore::loadRaw())
            stored << macro.trigger;
        return stored;
    }
    int selectedRow() const { return part<QListWidget>("triggerList")->currentRow(); }
    QString fieldText() const { return part<QLineEdit>("triggerField")->text(); }
    void selectRow(int row) const { part<QListWidget>("triggerList")->setCurrentRow(row); }
    // Types a new trigger phrase and ends the editing as the Return key does.
    void rename(const QString& text) const
    {
        part<QLineEdit>("triggerField")->setText(text);
        emit part<QLineEdit>("triggerField")->editingFinished();
    }
    // Nothing selected: both fields empty and closed to editing.
    bool showsNothing() const
    {
        return selectedRow() == -1 && fieldText().isEmpty() && !part("triggerField")->isEnabled() &&
               part<QPlainTextEdit>("textView")->isReadOnly() && !part("removeBtn")->isEnabled() &&
               part<QPlainTextEdit>("textView")->toPlainText().isEmpty();
    }

    ScriptedAlertPresenter alerts;
    MacroEditor editor;
};

} // namespace

TEST_F(MacroEditorTest, AddingPicksTheNextFreeNameAndSavesAtOnce)
{
    open({{QStringLiteral("Новый макрос"), QStringLiteral("старый")}});
    click("addBtn");
    click("addBtn");
    EXPECT_EQ(storedTriggers(), (QStringList{QStringLiteral("Новый макрос"), QStringLiteral("новый макрос 2"),
                                             QStringLiteral("новый макрос 3")}));
    EXPECT_EQ(MacroStore::loadNormalized().value(QStringLiteral("новый макрос 3")), QString()) << "fires already";
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ(fieldText(), QStringLiteral("новый макрос 3"));
    EXPECT_EQ(part<QLineEdit>("triggerField")->selectedText(), QStringLiteral("новый макрос 3"));

    open({});
    EXPECT_TRUE(showsNothing());
    click("addBtn");
    click("addBtn");
    EXPECT_EQ(triggers(), (QStringList{QStringLiteral("новый макрос"), QStringLiteral("новый макрос 2")}));
}

TEST_F(MacroEditorTest, RenameRefusesBlankAndDuplicateTriggersAndKeepsTheOldOne)
{
    open({{QStringLiteral("подпись"), QStringLiteral("С уважением")},
          {QStringLiteral("адрес"), QStringLiteral("Москва")}});
    ASSERT_EQ(triggers(), (QStringList{QStringLiteral("адрес"), QStringLiteral("подпись")}));
    EXPECT_EQ(selectedRow(), 0);

    rename(QStringLiteral("  Подпись "));
    ASSERT_EQ(alerts.messages(), QStringList{QStringLiteral("Триггер «Подпись» уже есть")});
    EXPECT_EQ(alerts.alerts.back().informativeText, QStringLiteral("У каждого макроса должна быть своя фраза."));
    EXPECT_EQ(alerts.alerts.back().buttons, QStringList{QStringLiteral("Понятно")});
    EXPECT_EQ(fieldText(), QStringLiteral("адрес"));
    rename(QStringLiteral("   "));
    EXPECT_EQ(fieldText(), QStringLiteral("адрес"));
    EXPECT_EQ(alerts.alerts.size(), 1U);
    EXPECT_EQ(storedTriggers(), (QStringList{QStringLiteral("адрес"), QStringLiteral("подпись")}));

    rename(QStringLiteral(" мой адрес "));
    EXPECT_EQ(storedTriggers(), (QStringList{QStringLiteral("мой адрес"), QStringLiteral("подпись")}));
    EXPECT_EQ(MacroStore::loadNormalized().value(QStringLiteral("мой адрес")), QStringLiteral("Москва"));
    EXPECT_EQ(selectedRow(), 0);
    rename(QStringLiteral("юридический адрес"));
    EXPECT_EQ(triggers(), (QStringList{QStringLiteral("подпись"), QStringLiteral("юридический адрес")}));
    EXPECT_EQ(selectedRow(), 1) << "the selection follows the renamed macro";
    EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(), QStringLiteral("Москва"));
}

TEST_F(MacroEditorTest, RemovingAsksFirstAndSelectsTheRowThatTakesItsPlace)
{
    open({{QStringLiteral("а"), QStringLiteral("1")},
          {QStringLiteral("б"), QStringLiteral("2")},
          {QStringLiteral("в"), QStringLiteral("3")}});
    selectRow(2);
    alerts.answers = {QStringLiteral("Отмена"), QStringLiteral("Удалить")};
    click("removeBtn");
    EXPECT_EQ(alerts.alerts.back().message, QStringLiteral("Удалить макрос «в»?"));
    EXPECT_EQ(alerts.alerts.back().informativeText, QStringLiteral("Действие нельзя отменить."));
    EXPECT_EQ(alerts.alerts.back().buttons, (QStringList{QStringLiteral("Удалить"), QStringLiteral("Отмена")}));
    EXPECT_EQ(storedTriggers().size(), 3);
    click("removeBtn");
    EXPECT_EQ(storedTriggers(), (QStringList{QStringLiteral("а"), QStringLiteral("б")}));
    EXPECT_EQ(selectedRow(), 1) << "the new last row";
    EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(), QStringLiteral("2"));

    selectRow(0);
    alerts.answers = {QStringLiteral("Удалить")};
    click("removeBtn");
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(fieldText(), QStringLiteral("б"));
    alerts.answers = {QStringLiteral("Удалить")};
    click("removeBtn");
    EXPECT_TRUE(showsNothing());
    EXPECT_TRUE(storedTriggers().isEmpty());
}

TEST_F(MacroEditorTest, TypingIsSavedAfterAPauseEvenWhenTheWindowWasClosed)
{
    open({{QStringLiteral("подпись"), QStringLiteral("Иван")}});
    auto* text = part<QPlainTextEdit>("textView");
    text->setPlainText(QStringLiteral("Иван Петров"));
    text->moveCursor(QTextCursor::End);
    text->insertPlainText(QStringLiteral(", бухгалтерия"));
    editor.window()->close();
    EXPECT_EQ(MacroStore::loadNormalized().value(QStringLiteral("подпись")), QStringLiteral("Иван")) << "not yet";
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return MacroStore::loadNormalized().value(QStringLiteral("подпись")) != QStringLiteral("Иван"); }, 3000));
    EXPECT_EQ(MacroStore::loadNormalized().value(QStringLiteral("подпись")),
              QStringLiteral("Иван Петров, бухгалтерия"));

    // Opening again before the pause ends keeps what was typed instead of the file's older text.
    editor.open();
    part<QPlainTextEdit>("textView")->setPlainText(QStringLiteral("Пётр"));
    editor.window()->close();
    editor.open();
    EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(), QStringLiteral("Пётр"));
    EXPECT_EQ(MacroStore::loadNormalized().value(QStringLiteral("подпись")), QStringLiteral("Пётр"));
}

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
    const QString values = MacroStore::substitutePlaceholders(QStringLiteral("{дата} · {дата_кратко} · {время}"));
    EXPECT_TRUE(part<QLabel>("hint")->text().startsWith(
        QStringLiteral("Подстановки внутри текста: {дата}, {дата_кратко}, {время} — сейчас это: ") + values +
        QStringLiteral(".\n")))
        << part<QLabel>("hint")->text().toStdString();
    EXPECT_EQ(editor.window()->windowTitle(), QStringLiteral("Макросы"));
    WindowShots::expectTextsFit(editor.window());
    WindowShots::save(editor.window(), QStringLiteral("macros"));
}
