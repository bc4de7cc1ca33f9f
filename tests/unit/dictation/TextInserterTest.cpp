#include "dictation/TextInserter.h"

#include "app/SettingsStore.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

// Without a display no keystroke reaches anything; the clipboard is the process's own.
namespace
{

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

constexpr int pastLastRestore = TextInserter::pasteDelayMs + TextInserter::restoreDelayMs + 600;

} // namespace

TEST(TextInserterTest, LeavesTheTextWithOneSpaceOnTheClipboard)
{
    SettingsStore::shared().setBool(SettingsKey::autoPaste, false);
    TextInserter::insert(QStringLiteral("Привет, мир."));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("Привет, мир. "));
    SettingsStore::shared().setBool(SettingsKey::appendSpace, false);
    TextInserter::insert(QStringLiteral("Второй"));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("Второй"));
}

TEST(TextInserterTest, RestoresThePreviousTextOnlyWhenTheClipboardStillHoldsOurs)
{
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    clipboard()->setText(QStringLiteral("старое"));
    TextInserter::insert(QStringLiteral("новое"));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("новое "));
    QTest::qWait(TextInserter::pasteDelayMs + TextInserter::restoreDelayMs - 300);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("новое ")) << "restored too early";
    EXPECT_TRUE(QTest::qWaitFor([] { return clipboard()->text() == QStringLiteral("старое"); }, 1500));

    // The user copies something else within the second: theirs stays.
    TextInserter::insert(QStringLiteral("ещё"));
    QTest::qWait(300);
    clipboard()->setText(QStringLiteral("скопировано пользователем"));
    QTest::qWait(pastLastRestore);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("скопировано пользователем"));
}

TEST(TextInserterTest, NothingIsRestoredWhenOffOrWhenTheClipboardWasEmpty)
{
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    clipboard()->clear();
    TextInserter::insert(QStringLiteral("первое"));
    QTest::qWait(pastLastRestore);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("первое "));

    // Without the paste keystroke there is nothing to restore after.
    SettingsStore::shared().setBool(SettingsKey::autoPaste, false);
    clipboard()->setText(QStringLiteral("старое"));
    TextInserter::insert(QStringLiteral("второе"));
    QTest::qWait(pastLastRestore);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("второе "));

    SettingsStore::shared().setBool(SettingsKey::autoPaste, true);
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, false);
    clipboard()->setText(QStringLiteral("старое"));
    TextInserter::insert(QStringLiteral("третье"));
    QTest::qWait(pastLastRestore);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("третье "));
}

TEST(TextInserterTest, PasteRawPutsExactlyTheTextAndNeverRestores)
{
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    clipboard()->setText(QStringLiteral("старое"));
    TextInserter::pasteRaw(QStringLiteral("слово"));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("слово"));
    QTest::qWait(pastLastRestore);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("слово"));
}

TEST(TextInserterTest, RecognisesTerminalEmulatorsByWindowClass)
{
    EXPECT_TRUE(TextInserter::isTerminal({QStringLiteral("xterm"), QStringLiteral("XTerm")}));
    EXPECT_TRUE(TextInserter::isTerminal({QStringLiteral("gnome-terminal-server"), QStringLiteral("Gnome-terminal")}));
    EXPECT_TRUE(TextInserter::isTerminal({QStringLiteral("konsole"), QStringLiteral("konsole")}));
    EXPECT_TRUE(TextInserter::isTerminal({QStringLiteral("Alacritty"), QStringLiteral("Alacritty")}));
    EXPECT_TRUE(TextInserter::isTerminal({QStringLiteral("kitty"), QStringLiteral("kitty")}));
    EXPECT_FALSE(TextInserter::isTerminal({QStringLiteral("gedit"), QStringLiteral("Gedit")}));
    EXPECT_FALSE(TextInserter::isTerminal({QStringLiteral("Navigator"), QStringLiteral("firefox")}));
    EXPECT_FALSE(TextInserter::isTerminal({QStringLiteral("terminal-notes"), QStringLiteral("Terminal-notes")}));
    EXPECT_FALSE(TextInserter::isTerminal({}));
}
