#include "ui/HistoryWindow.h"

#include "core/SettingsStore.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/WindowShots.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>

#include <gtest/gtest.h>

namespace
{

const QString hello = QStringLiteral("Открой гитхаб и жиру, пожалуйста.");
// Several lines, with the no-break space the typography puts before a time.
const QString plan = QStringLiteral("План на завтра:\nкупить хлеп\nсозвон в\u00a010:00");
// Longer than a line of the list.
const QString third = QStringLiteral("Третья запись: длинная фраза, которой не хватит одной строки списка, поэтому "
                                     "в конце строки она обрывается многоточием, а целиком видна в редакторе.");

class HistoryWindowTest : public testing::Test
{
protected:
    template <typename T = QWidget> T* part(const char* name) const
    {
        T* widget = history.window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* list() const { return part<QListWidget>("entryList"); }
    QPlainTextEdit* editor() const { return part<QPlainTextEdit>("entryEditor"); }
    bool saveEnabled() const { return part<QPushButton>("saveBtn")->isEnabled(); }
    QStringList rows() const
    {
        QStringList result;
        for (int row = 0; row < list()->count(); ++row)
            result << list()->item(row)->text();
        return result;
    }
    // The editor's text with its no-break spaces and line breaks as they are.
    QString shown() const { return editor()->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'); }
    // Selects the word in the editor and types its replacement over it, key by key.
    void retype(const QString& word, const QString& replacement) const
    {
        const QTextCursor found = editor()->document()->find(word);
        ASSERT_FALSE(found.isNull()) << word.toStdString();
        editor()->setTextCursor(found);
        for (const QChar character : replacement)
            QTest::sendKeyEvent(QTest::Click, editor(), Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
    void clickRow(int row) const
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center());
    }
    static QStringList stored() { return SettingsStore::shared().history(); }

    ScriptedAlertPresenter alerts;
    HistoryWindow history;
    QSignalSpy edits{&history, &HistoryWindow::entryEdited};
};

} // namespace

// Looked at (and pictured) at 1x and, as a second ctest entry, at 2x.
TEST_F(HistoryWindowTest, AFixIsSavedInPlaceAfterNewDictationsAndToldButNeverEmptiesTheEntry)
{
    SettingsStore::shared().setHistory({hello, plan, third});
    history.showWindow();
    const QString planLine = QStringLiteral("План на завтра: ↵ купить хлеп ↵ созвон в\u00a010:00");
    EXPECT_EQ(rows(), (QStringList{hello, planLine, third}));
    EXPECT_EQ(list()->currentRow(), 0) << "the newest is chosen";
    EXPECT_EQ(shown(), hello);

    clickRow(1);
    EXPECT_EQ(shown(), plan) << "whole";
    EXPECT_FALSE(saveEnabled());
    retype(QStringLiteral("хлеп"), QStringLiteral("хлеб"));
    EXPECT_TRUE(saveEnabled());
    for (const QString& row : rows())
        WindowShots::expectDrawable(row);
    WindowShots::expectTextsFit(history.window());
    WindowShots::save(history.window(), QStringLiteral("history"));

    // The same list dictated again while the window stood open: the fix goes to the entry it was typed on.
    SettingsStore::shared().prependToHistory(plan);
    part<QPushButton>("saveBtn")->click();
    const QString fixed = QString(plan).replace(QStringLiteral("хлеп"), QStringLiteral("хлеб"));
    EXPECT_EQ(stored(), (QStringList{plan, hello, fixed, third}));
    ASSERT_EQ(edits.size(), 1);
    EXPECT_EQ(edits.at(0), (QVariantList{plan, fixed}));
    EXPECT_FALSE(saveEnabled());
    EXPECT_EQ(list()->item(1)->text(), QString(planLine).replace(QStringLiteral("хлеп"), QStringLiteral("хлеб")));

    editor()->selectAll();
    QTest::keyClick(editor(), Qt::Key_Delete);
    QTest::keyClick(editor(), Qt::Key_Space);
    QTest::keyClick(editor(), Qt::Key_Return);
    EXPECT_TRUE(saveEnabled());
    part<QPushButton>("saveBtn")->click();
    EXPECT_EQ(alerts.messages(), QStringList{QStringLiteral("Запись не может быть пустой")});
    EXPECT_EQ(stored(), (QStringList{plan, hello, fixed, third}));
    EXPECT_EQ(edits.size(), 1);
    EXPECT_EQ(shown(), QStringLiteral(" \n")) << "what was typed stays";
}

TEST_F(HistoryWindowTest, AFixBeingTypedOutlivesNewDictationsAndAnotherChoiceUnlessTheUserLetsItGo)
{
    SettingsStore::shared().setHistory({hello, third});
    history.showWindow();
    retype(QStringLiteral("гитхаб"), QStringLiteral("GitHub"));
    const QString fixed = QStringLiteral("Открой GitHub и жиру, пожалуйста.");
    alerts.answers = {QStringLiteral("Отмена")};
    clickRow(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.alerts.empty(); }));
    EXPECT_EQ(alerts.alerts.back().buttons, (QStringList{"Сохранить", "Не сохранять", "Отмена"}));
    EXPECT_EQ(list()->currentRow(), 0);
    EXPECT_EQ(list()->selectedItems(), QList<QListWidgetItem*>{list()->item(0)});
    EXPECT_EQ(shown(), fixed);

    // Opened again from the tray after a dictation.
    SettingsStore::shared().prependToHistory(QStringLiteral("Новая"));
    history.window()->close();
    history.showWindow();
    EXPECT_EQ(rows(), (QStringList{"Новая", hello, third}));
    EXPECT_EQ(list()->currentRow(), 1);
    EXPECT_EQ(shown(), fixed);
    EXPECT_TRUE(saveEnabled());

    // Back in front after a dictation into another window.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    SettingsStore::shared().prependToHistory(QStringLiteral("Ещё новее"));
    history.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(history.window()));
    EXPECT_EQ(rows(), (QStringList{"Ещё новее", "Новая", hello, third}));
    EXPECT_EQ(list()->currentRow(), 2);

    alerts.answers = {QStringLiteral("Сохранить")};
    clickRow(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == third; }));
    EXPECT_EQ(stored(), (QStringList{"Ещё новее", "Новая", fixed, third}));
    ASSERT_EQ(edits.size(), 1);
    EXPECT_EQ(edits.at(0), (QVariantList{hello, fixed}));

    retype(QStringLiteral("Третья"), QStringLiteral("Вторая"));
    alerts.answers = {QStringLiteral("Не сохранять")};
    clickRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == QStringLiteral("Ещё новее"); }));
    EXPECT_EQ(stored().last(), third);
    EXPECT_EQ(edits.size(), 1);
    EXPECT_EQ(alerts.alerts.size(), 3u);

    part<QPushButton>("copyBtn")->click();
    EXPECT_TRUE(QTest::qWaitFor([] { return QGuiApplication::clipboard()->text() == QStringLiteral("Ещё новее"); }));
}
