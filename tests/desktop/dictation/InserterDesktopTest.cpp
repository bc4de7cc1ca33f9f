#include "DesktopRig.h"
#include "core/SettingsStore.h"
#include "dictation/TextInserter.h"

#include <QClipboard>
#include <QGuiApplication>

namespace
{

using DesktopRig::appLog;
using DesktopRig::clipboard;
using DesktopRig::clipboardBecomes;

class InserterDesktopTest : public DesktopTest
{
protected:
    void TearDown() override
    {
        if (!IsSkipped())
            DesktopRig::setLayout(QStringLiteral("us"));
    }
};

const QString phrase = QStringLiteral("Привет, мир.");
const QString pasted = phrase + u' ';

} // namespace

TEST_F(InserterDesktopTest, PastesIntoTheFocusedFieldOfAnotherApplicationWhateverTheKeyboardState)
{
    // Plain; into a terminal, which pastes with Ctrl+Shift+V; taking the clipboard back from a program that
    // copied last; while the user still holds Shift from typing when the text arrives; with the Russian layout
    // active (the V key types "м" now).
    for (const char* situation : {"plain", "terminal", "someone else copied last", "Shift held", "Russian layout"}) {
        SCOPED_TRACE(situation);
        const std::string what = situation;
        ASSERT_TRUE(what != "Russian layout" || DesktopRig::setLayout(QStringLiteral("ru,us")) == 0);
        TextFieldWindow field(what == "terminal" ? QStringList{"-name", "xterm"} : QStringList());
        ASSERT_TRUE(field.isReady());
        if (what == "someone else copied last") {
            // An earlier dictation left its text on the clipboard; then the user copied elsewhere.
            QGuiApplication::clipboard()->setText(QStringLiteral("прошлая диктовка"));
            ASSERT_EQ(clipboard(), QStringLiteral("прошлая диктовка"));
            DesktopRig::setClipboardElsewhere(QStringLiteral("чужое"));
            ASSERT_TRUE(clipboardBecomes(QStringLiteral("чужое")));
        }
        const qsizetype keystrokes = appLog().count(QStringLiteral("Отправляю нажатие клавиш"));
        if (what == "Shift held") {
            ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:Shift_L"})));
            TextInserter::insert(phrase);
            // The keystroke waits for the user to let go.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return appLog().count(QStringLiteral("Отправляю нажатие клавиш")) > keystrokes; }, 3000));
            ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"up:Shift_L"})));
        } else if (what == "terminal") {
            // A dictated «новая строка» at the end must not run the command line.
            TextInserter::insert(phrase + QStringLiteral("\n"));
        } else {
            TextInserter::insert(phrase);
        }
        // The field takes no Ctrl+Shift+V: for the terminal only the key press tells.
        EXPECT_TRUE(what == "terminal" ? QTest::qWaitFor([&] { return !field.keys().isEmpty(); }, 3000)
                                       : field.waitForText(pasted))
            << field.text().toStdString();
        EXPECT_EQ(field.keys(), QStringList{what == "terminal" ? "Ctrl+Shift+V" : "Ctrl+V"});
        EXPECT_EQ(clipboard(), pasted) << "the text stays on the clipboard";
        EXPECT_TRUE(DesktopRig::waitUntilKeystrokesPosted(appLog));
    }

    // Asked to, the previous text comes back after the paste, unless the user copied something else meanwhile.
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    DesktopRig::setClipboardElsewhere(QStringLiteral("прошлое"));
    ASSERT_TRUE(clipboardBecomes(QStringLiteral("прошлое")));
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(pasted)) << field.text().toStdString();
    EXPECT_TRUE(clipboardBecomes(QStringLiteral("прошлое"))) << clipboard().toStdString();
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(pasted + pasted)) << field.text().toStdString();
    // The user copies within the second before the restore.
    DesktopRig::setClipboardElsewhere(QStringLiteral("скопировано"));
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return appLog().contains(QStringLiteral("Буфер обмена не восстановлен: в нём уже другой текст")); },
        5000));
    EXPECT_EQ(clipboard(), QStringLiteral("скопировано"));
}

TEST_F(InserterDesktopTest, AClipboardOwnerThatHangsIsNeverAskedForItsContent)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    // Asking a hung owner for its text would keep the main thread waiting for Qt's five-second selection timeout.
    QProcess owner;
    owner.start(QStringLiteral(TOLVAN_FAKES_DIR "/xkey"), {QStringLiteral("hang-clipboard")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.peek(64).startsWith("OWNER"); }, 5000));
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(pasted));
    EXPECT_TRUE(DesktopRig::finishes(owner)) << "it lost the clipboard to us";
    EXPECT_EQ(owner.readAllStandardOutput(), QByteArray("OWNER\n"));
}
