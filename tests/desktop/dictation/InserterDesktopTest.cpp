#include "DesktopSession.h"
#include "core/SettingsStore.h"
#include "dictation/TextInserter.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>

namespace
{

using DesktopSession::clipboard;
using DesktopSession::clipboardBecomes;

class InserterDesktopTest : public DesktopTest
{
protected:
    void TearDown() override
    {
        if (!IsSkipped())
            DesktopSession::setLayout(QStringLiteral("us"));
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
        ASSERT_TRUE(what != "Russian layout" || DesktopSession::setLayout(QStringLiteral("ru,us")) == 0);
        TextFieldWindow field(what == "terminal" ? QStringList{"-name", "xterm"} : QStringList());
        ASSERT_TRUE(field.isReady());
        if (what == "someone else copied last") {
            // An earlier dictation left its text on the clipboard; then the user copied elsewhere.
            QGuiApplication::clipboard()->setText(QStringLiteral("прошлая диктовка"));
            ASSERT_EQ(clipboard(), QStringLiteral("прошлая диктовка"));
            QTest::qWait(300);
            DesktopSession::setClipboardElsewhere(QStringLiteral("чужое"));
            ASSERT_TRUE(clipboardBecomes(QStringLiteral("чужое")));
        }
        std::unique_ptr<QProcess> shift;
        if (what == "Shift held") {
            shift = DesktopSession::keys({"down:Shift_L", "sleep:500", "up:Shift_L"});
            QTest::qWait(50);
        }
        TextInserter::insert(phrase);
        // The field takes no Ctrl+Shift+V: for the terminal only the key press tells.
        EXPECT_TRUE(what == "terminal" ? QTest::qWaitFor([&] { return !field.keys().isEmpty(); }, 3000)
                                       : field.waitForText(pasted))
            << field.text().toStdString();
        EXPECT_EQ(field.keys(), QStringList{what == "terminal" ? "Ctrl+Shift+V" : "Ctrl+V"});
        EXPECT_EQ(clipboard(), pasted) << "the text stays on the clipboard";
        EXPECT_TRUE(!shift || DesktopSession::finishes(*shift));
    }

    // Asked to, the previous text comes back after the paste, unless the user copied something else meanwhile.
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    DesktopSession::setClipboardElsewhere(QStringLiteral("прошлое"));
    ASSERT_TRUE(clipboardBecomes(QStringLiteral("прошлое")));
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(pasted)) << field.text().toStdString();
    EXPECT_TRUE(clipboardBecomes(QStringLiteral("прошлое"))) << clipboard().toStdString();
    TextInserter::insert(phrase);
    EXPECT_TRUE(field.waitForText(pasted + pasted)) << field.text().toStdString();
    DesktopSession::setClipboardElsewhere(QStringLiteral("скопировано"));
    QTest::qWait(TextInserter::restoreDelayMs + 600);
    EXPECT_EQ(clipboard(), QStringLiteral("скопировано"));
}

TEST_F(InserterDesktopTest, AClipboardOwnerThatHangsNeverStallsTheInsertion)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    DesktopSession::setClipboardElsewhere(QStringLiteral("чужое"));
    ASSERT_TRUE(clipboardBecomes(QStringLiteral("чужое")));
    QString owner;
    ASSERT_EQ(DesktopSession::run(QStringLiteral("pgrep"), {QStringLiteral("-n"), QStringLiteral("xclip")}, &owner), 0);
    ASSERT_EQ(DesktopSession::run(QStringLiteral("kill"), {QStringLiteral("-STOP"), owner.trimmed()}), 0);

    // Asking a stopped owner for its text would wait out Qt's five-second selection timeout.
    QElapsedTimer insertion;
    insertion.start();
    TextInserter::insert(phrase);
    const qint64 blockedMs = insertion.elapsed();
    DesktopSession::run(QStringLiteral("kill"), {QStringLiteral("-CONT"), owner.trimmed()});
    EXPECT_LT(blockedMs, 2500);
    EXPECT_TRUE(field.waitForText(pasted));
}
