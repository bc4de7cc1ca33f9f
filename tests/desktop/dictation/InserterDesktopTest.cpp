#include "DesktopSession.h"
#include "app/SettingsStore.h"
#include "dictation/TextInserter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

namespace
{

class InserterDesktopTest : public DesktopTest
{
protected:
    void TearDown() override
    {
        if (layoutChanged_)
            DesktopSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")});
    }

    void setLayout(const QString& layout)
    {
        layoutChanged_ = true;
        ASSERT_EQ(DesktopSession::run(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layout}), 0);
    }

private:
    bool layoutChanged_ = false;
};

const QString phrase = QStringLiteral("Привет, мир.");

} // namespace

TEST_F(InserterDesktopTest, PastesIntoTheFocusedFieldOfAnotherApplication)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(phrase + QLatin1Char(' '))) << field.text().toStdString();
    EXPECT_EQ(field.keys(), QStringList{QStringLiteral("Ctrl+V")});
    EXPECT_EQ(DesktopSession::clipboard(), phrase + QLatin1Char(' ')) << "the text stays on the clipboard";
}

TEST_F(InserterDesktopTest, TakesTheClipboardBackFromAProgramThatCopiedLast)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    // An earlier dictation left its text on the clipboard; then the user copied elsewhere.
    QGuiApplication::clipboard()->setText(QStringLiteral("прошлая диктовка"));
    ASSERT_EQ(DesktopSession::clipboard(), QStringLiteral("прошлая диктовка"));
    QTest::qWait(300);
    DesktopSession::setClipboardElsewhere(QStringLiteral("чужое"));
    ASSERT_TRUE(QTest::qWaitFor([] { return DesktopSession::clipboard() == QStringLiteral("чужое"); }, 3000));
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(phrase + QLatin1Char(' '))) << field.text().toStdString();
    EXPECT_EQ(DesktopSession::clipboard(), phrase + QLatin1Char(' '));
}

TEST_F(InserterDesktopTest, WithoutAutoPasteOnlyTheClipboardChanges)
{
    SettingsStore::shared().setBool(SettingsKey::autoPaste, false);
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    TextInserter::insert(phrase);
    QTest::qWait(TextInserter::pasteDelayMs + 700);
    EXPECT_EQ(field.text(), QString());
    EXPECT_TRUE(field.keys().isEmpty());
    EXPECT_EQ(DesktopSession::clipboard(), phrase + QLatin1Char(' '));
}

TEST_F(InserterDesktopTest, RestoresThePreviousClipboardAfterThePasteUnlessTheUserCopied)
{
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    // Copied in another program after the last event this process saw.
    DesktopSession::setClipboardElsewhere(QStringLiteral("старое"));
    ASSERT_TRUE(QTest::qWaitFor([] { return DesktopSession::clipboard() == QStringLiteral("старое"); }, 3000));

    TextInserter::insert(QStringLiteral("новое"));
    EXPECT_TRUE(field.waitForText(QStringLiteral("новое ")));
    EXPECT_TRUE(QTest::qWaitFor([] { return DesktopSession::clipboard() == QStringLiteral("старое"); }, 3000))
        << DesktopSession::clipboard().toStdString();

    TextInserter::insert(QStringLiteral("ещё"));
    EXPECT_TRUE(field.waitForText(QStringLiteral("новое ещё ")));
    DesktopSession::setClipboardElsewhere(QStringLiteral("скопировано"));
    QTest::qWait(TextInserter::restoreDelayMs + 600);
    EXPECT_EQ(DesktopSession::clipboard(), QStringLiteral("скопировано"));
}

TEST_F(InserterDesktopTest, PastesWithTheRussianLayoutActive)
{
    // The first group is the active one: the V key types "м" now.
    setLayout(QStringLiteral("ru,us"));
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(phrase + QLatin1Char(' '))) << field.text().toStdString();
    EXPECT_FALSE(field.text().contains(QStringLiteral("м ")));
}

TEST_F(InserterDesktopTest, PastesOnlyAfterTheUserLetsGoOfModifiers)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    // The user still holds Shift from typing when the text arrives.
    auto shift = DesktopSession::keys(
        {QStringLiteral("down:Shift_L"), QStringLiteral("sleep:500"), QStringLiteral("up:Shift_L")});
    QTest::qWait(50);
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(phrase + QLatin1Char(' '))) << field.keys().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(DesktopSession::finishes(*shift));
    EXPECT_EQ(field.keys(), QStringList{QStringLiteral("Ctrl+V")});
}

TEST_F(InserterDesktopTest, TerminalsGetCtrlShiftV)
{
    TextFieldWindow terminal({QStringLiteral("-name"), QStringLiteral("xterm")});
    ASSERT_TRUE(terminal.isReady());
    TextInserter::insert(phrase);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !terminal.keys().isEmpty(); }, 3000));
    EXPECT_EQ(terminal.keys(), QStringList{QStringLiteral("Ctrl+Shift+V")});
    EXPECT_EQ(DesktopSession::clipboard(), phrase + QLatin1Char(' '));
}

TEST_F(InserterDesktopTest, PasteRawAndCopySelection)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    TextInserter::pasteRaw(QStringLiteral("слово"));
    EXPECT_TRUE(field.waitForText(QStringLiteral("слово")));
    auto selectAll = DesktopSession::keys(
        {QStringLiteral("down:Control_L"), QStringLiteral("tap:a"), QStringLiteral("up:Control_L")});
    ASSERT_TRUE(DesktopSession::finishes(*selectAll));
    QGuiApplication::clipboard()->setText(QStringLiteral("прежнее"));
    TextInserter::copySelection();
    EXPECT_TRUE(QTest::qWaitFor([] { return DesktopSession::clipboard() == QStringLiteral("слово"); }, 3000))
        << DesktopSession::clipboard().toStdString();
}
