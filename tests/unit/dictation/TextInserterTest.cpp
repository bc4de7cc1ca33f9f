#include "dictation/TextInserter.h"

#include "core/SettingsStore.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

// Widgets and the clipboard of every test here without any display: nothing may reach a real desktop (not
// even the test rig's, which other tests use at the same time). No keystroke reaches anything; the clipboard
// is the process's own.
const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    return true;
}();

constexpr int pastLastRestore = TextInserter::pasteDelayMs + TextInserter::restoreDelayMs + 600;

} // namespace

TEST(TextInserterTest, RestoresThePreviousTextOnlyWhenTheClipboardStillHoldsOurs)
{
    QClipboard* const clipboard = QGuiApplication::clipboard();
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    clipboard->setText(QStringLiteral("старое"));
    TextInserter::insert(QStringLiteral("новое"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("новое "));
    QTest::qWait(TextInserter::pasteDelayMs + TextInserter::restoreDelayMs - 300);
    EXPECT_EQ(clipboard->text(), QStringLiteral("новое ")) << "restored too early";
    EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard->text() == QStringLiteral("старое"); }, 1500));

    // The user copies something else within the second: theirs stays.
    TextInserter::insert(QStringLiteral("ещё"));
    QTest::qWait(300);
    clipboard->setText(QStringLiteral("скопировано пользователем"));
    QTest::qWait(pastLastRestore);
    EXPECT_EQ(clipboard->text(), QStringLiteral("скопировано пользователем"));
}

TEST(TextInserterTest, TheTextStaysWithoutPasteAfterARawPasteOrWhenTheClipboardWasEmpty)
{
    QClipboard* const clipboard = QGuiApplication::clipboard();
    SettingsStore::shared().setBool(SettingsKey::restoreClipboard, true);
    const auto expectKept = [&](void (*put)(const QString&), const QString& text, const QString& expected) {
        put(text);
        EXPECT_EQ(clipboard->text(), expected);
        QTest::qWait(pastLastRestore);
        EXPECT_EQ(clipboard->text(), expected);
        clipboard->setText(QStringLiteral("старое"));
    };
    clipboard->clear();
    expectKept(TextInserter::insert, QStringLiteral("первое"), QStringLiteral("первое "));
    // A raw paste puts exactly the text.
    expectKept(TextInserter::pasteRaw, QStringLiteral("слово"), QStringLiteral("слово"));
    SettingsStore::shared().setBool(SettingsKey::autoPaste, false); // no paste keystroke to restore after
    expectKept(TextInserter::insert, QStringLiteral("второе"), QStringLiteral("второе "));
}
