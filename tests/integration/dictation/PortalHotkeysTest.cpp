#include "app/PermissionsReport.h"
#include "core/Log.h"
#include "core/SettingsStore.h"
#include "dictation/HotkeyManager.h"
#include "platform/PortalShortcuts.h"
#include "support/FakeSessionBus.h"
#include "support/TestFiles.h"

#include <QTest>

#include <gtest/gtest.h>

namespace
{

// No X11 keyboard: only the portal's shortcuts reach the manager.
class NoKeyboard : public KeyboardHook
{
public:
    bool start() override { return false; }
    bool isStarted() const override { return false; }
    std::vector<Keys::Combination> setGrabs(const std::vector<Keys::Combination>&) override { return {}; }
};

} // namespace

TEST(PortalHotkeysTest, TheToggleAndPushToTalkBoundThroughThePortalActAsTheirKeysDo)
{
    FakeSessionBus portal(QStringLiteral(FAKE_GLOBAL_SHORTCUTS));
    ASSERT_TRUE(portal.startService({}));
    SettingsStore::shared().setString(SettingsKey::togglePreset, QStringLiteral("optSpace"));
    HotkeyManager hotkeys(std::make_unique<NoKeyboard>());
    int toggles = 0, begins = 0, ends = 0;
    hotkeys.onToggle = [&toggles] { ++toggles; };
    hotkeys.onPTTBegin = [&begins] { ++begins; };
    hotkeys.onPTTEnd = [&ends] { ++ends; };

    hotkeys.startPortalShortcuts();
    // The push-to-talk key is left to the user: the desktop takes no lone right Alt.
    ASSERT_TRUE(portal.waitForCall(QStringLiteral("CALL BindShortcuts toggle|Начать или закончить диктовку|ALT+space "
                                                  "push-to-talk|Диктовать, пока клавиша нажата|")))
        << portal.readCalls().join(u'\n').toStdString();
    EXPECT_EQ(portal.readCalls().count(QStringLiteral("CALL CreateSession")), 1);
    const QString logged = QStringLiteral("Горячие клавиши: портал GlobalShortcuts (начать или закончить диктовку: "
                                          "ALT+space; рация: назначается в настройках рабочего стола)");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QString::fromUtf8(TestFiles::read(Log::directory() + "/app.log")).contains(logged); }, 10000));
    // What the app tells the user is what the portal bound, never to bind the commands themselves.
    EXPECT_FALSE(hotkeys.offerPending());
    EXPECT_EQ(hotkeys.offer(), (HotkeyManager::Offer{HotkeyManager::Offer::portal, "ALT+space", ""}));
    const QString report = PermissionsReport::hotkeysLine(hotkeys.offer());
    EXPECT_TRUE(report.startsWith(QStringLiteral("Горячие клавиши: ✓ Сочетания назначены через рабочий стол: начать и "
                                                 "закончить диктовку — ALT+space; рация — назначается в настройках "
                                                 "рабочего стола.")))
        << report.toStdString();
    EXPECT_FALSE(report.contains(QLatin1String("tolvan --toggle"))) << report.toStdString();

    portal.tell(QStringLiteral("Activated toggle"));
    // A release of the toggle means nothing; the next press toggles again.
    portal.tell(QStringLiteral("Deactivated toggle"));
    portal.tell(QStringLiteral("Activated toggle"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return toggles == 2; }, 10000)) << toggles;

    portal.tell(QStringLiteral("Activated push-to-talk"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return begins == 1; }, 10000));
    EXPECT_EQ(ends, 0);
    portal.tell(QStringLiteral("Deactivated push-to-talk"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ends == 1; }, 10000));
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(toggles, 2);
}

TEST(PortalHotkeysTest, APortalWithoutGlobalShortcutsOrNoPortalAtAllIsNotUsed)
{
    const struct
    {
        bool portalRuns;
        const char* reason;
    } cases[] = {{false, "org.freedesktop.portal.Desktop"}, {true, "No such interface"}};
    FakeSessionBus portal(QStringLiteral(FAKE_GLOBAL_SHORTCUTS));
    for (const auto& expected : cases) {
        if (expected.portalRuns) {
            ASSERT_TRUE(portal.startService({QStringLiteral("--without-global-shortcuts")}));
            // Without the portal's shortcuts, the user is told to bind the commands (here without a display: that
            // there are no keys at all).
            HotkeyManager hotkeys(std::make_unique<NoKeyboard>());
            bool changed = false;
            hotkeys.onOfferChanged = [&changed] { changed = true; };
            hotkeys.startPortalShortcuts();
            EXPECT_TRUE(hotkeys.offerPending());
            EXPECT_TRUE(QTest::qWaitFor([&changed] { return changed; }, 10000));
            EXPECT_FALSE(hotkeys.offerPending());
            EXPECT_NE(hotkeys.offer().kind, HotkeyManager::Offer::portal);
        }
        PortalShortcuts shortcuts;
        QString reason;
        shortcuts.onUnavailable = [&reason](const QString& why) { reason = why; };
        shortcuts.start({{QStringLiteral("toggle"), QStringLiteral("Начать или закончить диктовку"), {}}});
        EXPECT_TRUE(reason.isEmpty()) << "start() waited for the bus";
        EXPECT_TRUE(QTest::qWaitFor([&reason] { return !reason.isEmpty(); }, 10000));
        EXPECT_TRUE(reason.contains(QLatin1String(expected.reason))) << reason.toStdString();
        EXPECT_FALSE(portal.readCalls().contains(QStringLiteral("CALL CreateSession")));
    }
}
