#include "app/LearnWordFlow.h"

#include "app/PermissionsReport.h"
#include "core/SettingsStore.h"
#include "support/ScriptedAlertPresenter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace
{

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

// The window's selection is copied only once the user lets go of the hotkey's modifiers, later than the
// wait for the copy lasts.
constexpr int modifiersHeldMs = LearnWordFlow::copyWaitMs * 2;

class LearnWordFlowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        flow.activeWindow = [] { return ActiveWindow::WindowId{42}; };
        flow.primaryIsFocusedWindows = [] { return false; };
        flow.nativeSelection = [] { return std::nullopt; };
        flow.ask = [this](const QString& heard) -> std::optional<CorrectionPair> {
            asked << heard;
            if (answer.right.isEmpty())
                return std::nullopt;
            return answer;
        };
        flow.replaceSelection = [this](ActiveWindow::WindowId window, const QString& text) {
            replaced << QStringLiteral("%1:%2").arg(window).arg(text);
        };
        flow.onLearned = [this] { ++learned; };
    }

    // The focused window copies this selection (nothing when empty) once the modifiers are up.
    void selectInFocusedWindow(const QString& selection)
    {
        flow.postCopy = [selection](std::function<void()> posted) {
            QTimer::singleShot(modifiersHeldMs, [selection, posted] {
                if (!selection.isEmpty())
                    clipboard()->setText(selection);
                posted();
            });
        };
    }

    bool waitForQuestion(qsizetype count) const
    {
        return QTest::qWaitFor([&] { return asked.size() == count; }, 5000);
    }

    LearnWordFlow flow;
    CorrectionPair answer;
    QStringList asked, replaced;
    int learned = 0;
};

} // namespace

TEST_F(LearnWordFlowTest, CopyIsReadAfterItsKeystrokeAndTheUsersClipboardComesBackOnEveryPath)
{
    clipboard()->setText(QStringLiteral("буфер пользователя"));
    selectInFocusedWindow(QStringLiteral(" гитхаб "));
    answer = {QStringLiteral("гитхаб"), QStringLiteral("GitHub")};
    flow.start();
    ASSERT_TRUE(waitForQuestion(1));
    EXPECT_EQ(asked.last(), QStringLiteral("гитхаб"));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("буфер пользователя"));
    EXPECT_EQ(replaced, QStringList{QStringLiteral("42:GitHub")});
    EXPECT_EQ(learned, 1);

    // Nothing selected, then the dialog cancelled: no word, nothing replaced, the clipboard untouched.
    selectInFocusedWindow(QString());
    answer = {};
    flow.start();
    ASSERT_TRUE(waitForQuestion(2));
    EXPECT_EQ(asked.last(), QString());
    EXPECT_EQ(clipboard()->text(), QStringLiteral("буфер пользователя"));

    // A whole paragraph is no word: the dialog starts empty and nothing is pasted over it.
    selectInFocusedWindow(QString(LearnWordFlow::longestLearnedWord + 1, u'ж'));
    answer = {QStringLiteral("жж"), QStringLiteral("Ж")};
    flow.start();
    ASSERT_TRUE(waitForQuestion(3));
    EXPECT_EQ(asked.last(), QString());
    EXPECT_EQ(clipboard()->text(), QStringLiteral("буфер пользователя"));
    EXPECT_EQ(replaced.size(), 1);
    EXPECT_EQ(learned, 2);

    // A native Wayland window (maybe a terminal no one knows as such) gets no copy keystroke: its selection is taken.
    bool copied = false;
    flow.postCopy = [&copied](std::function<void()> posted) {
        copied = true;
        posted();
    };
    flow.nativeSelection = [] { return std::optional<QString>(QStringLiteral(" докер ")); };
    answer = {};
    flow.start();
    ASSERT_TRUE(waitForQuestion(4));
    EXPECT_EQ(asked.last(), QStringLiteral("докер"));
    EXPECT_FALSE(copied);
}

namespace
{

// A microphone that answers at once: with a block, or with the sound server's refusal.
struct ScriptedMicrophone : MicrophoneCapture
{
    QString* openedSource;
    std::optional<QString> refusal;

    Result<Done> start(const QString& source, BlockHandler onBlock, EndHandler onEnded) override
    {
        *openedSource = source;
        const std::int16_t block[1] = {0};
        if (refusal)
            onEnded(*refusal);
        else
            onBlock(block);
        return Done{};
    }
    void stop() override {}
};

} // namespace

TEST(PermissionsReportTest, ChecksTheMicrophoneChosenInTheSettingsAndSaysWhetherItDeliversSound)
{
    ScriptedAlertPresenter alerts;
    PermissionsReport report;
    QString opened;
    std::optional<QString> refusal;
    report.makeCapture = [&] {
        auto microphone = std::make_unique<ScriptedMicrophone>();
        microphone->openedSource = &opened;
        microphone->refusal = refusal;
        return microphone;
    };
    SettingsStore::shared().setString(SettingsKey::inputDevice, QStringLiteral("bluez_input.headset"));
    report.show({HotkeyManager::Offer::keys, QStringLiteral("F6"), {}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.alerts.size() == 1; }, 5000));
    EXPECT_EQ(opened, QStringLiteral("bluez_input.headset"));
    EXPECT_TRUE(alerts.alerts.back().informativeText.startsWith(
        QStringLiteral("Микрофон «bluez_input.headset»: ✓ звуковой сервер отвечает")))
        << alerts.alerts.back().informativeText.toStdString();

    refusal = QStringLiteral("No such entity");
    report.show({HotkeyManager::Offer::keys, QStringLiteral("F6"), {}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.alerts.size() == 2; }, 5000));
    EXPECT_TRUE(alerts.alerts.back().informativeText.startsWith(
        QStringLiteral("Микрофон «bluez_input.headset»: ✗ No such entity")))
        << alerts.alerts.back().informativeText.toStdString();
}
