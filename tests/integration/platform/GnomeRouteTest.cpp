#include "platform/gnome/GnomeRoute.h"

#include "support/FakeSessionBus.h"

#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <future>

namespace
{

// mutter's remote desktop (tests/fakes/mutter-remote-desktop) on a session bus of the test's own.
class FakeMutter : public FakeSessionBus
{
public:
    FakeMutter() : FakeSessionBus(QStringLiteral(FAKE_REMOTE_DESKTOP)) {}
    void startService(const QStringList& options) { ASSERT_TRUE(FakeSessionBus::startService(options)); }
};

const QString text = QStringLiteral("Привет, это проверка.");
const QString ctrlPressed = QStringLiteral("CALL 1 NotifyKeyboardKeycode %1 True").arg(KEY_LEFTCTRL);

// Ctrl+V into whichever native window has the focus, expecting `text` on the native side; whether it was pressed.
bool pastes(GnomeRoute& route)
{
    return route.postKey(0, Keys::v, Keys::control, text) == WaylandRoute::Keystroke::posted;
}

// What the sessions were told, each checked: every key pressed is released in the same session, and every session
// started is stopped. The presses, in order, as "session:code".
QStringList pressesOf(const QStringList& calls)
{
    static const QRegularExpression keyCall(QStringLiteral("^CALL (\\d+) NotifyKeyboardKeycode (\\d+) (True|False)$"));
    QStringList presses, held;
    QSet<QString> started;
    for (const QString& call : calls) {
        const QStringList words = call.split(u' ');
        if (words.value(2) == QLatin1String("Start"))
            started << words[1];
        if (words.value(2) == QLatin1String("Stop"))
            started.remove(words[1]);
        const QRegularExpressionMatch key = keyCall.match(call);
        if (!key.hasMatch())
            continue;
        const QString pressed = key.captured(1) + u':' + key.captured(2);
        if (key.captured(3) == QLatin1String("True")) {
            presses << pressed;
            held << pressed;
        } else {
            EXPECT_TRUE(held.removeOne(pressed)) << "released, never pressed: " << call.toStdString();
        }
    }
    EXPECT_EQ(held, QStringList()) << "pressed, never released";
    EXPECT_TRUE(started.isEmpty()) << "started, never stopped: " << calls.join(u'\n').toStdString();
    return presses;
}

} // namespace

TEST(GnomeRouteTest, APasteGoesOutOnlyWhenNativeWindowsAreOfferedOurText)
{
    FakeMutter mutter;
    const QString ctrlV = QStringLiteral("1:%1 1:%2").arg(KEY_LEFTCTRL).arg(KEY_V);
    const struct
    {
        QStringList options;
        bool pasted;
    } cases[] = {
        {{QStringLiteral("--clipboard"), text}, true},
        // The X11 clipboard has not reached native windows, or another program's took its place.
        {{QStringLiteral("--clipboard"), QStringLiteral("Старый текст")}, false},
        // mutter does not say what native windows would paste.
        {{QStringLiteral("--refuse-clipboard"), QStringLiteral("--clipboard"), text}, false},
        {{}, false},
    };
    for (const auto& expected : cases) {
        mutter.startService(expected.options);
        EXPECT_EQ(pastes(GnomeRoute::shared()), expected.pasted) << expected.options.join(u' ').toStdString();
        ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 1 Stop")));
        EXPECT_EQ(pressesOf(mutter.readCalls()).join(u' '), expected.pasted ? ctrlV : QString())
            << mutter.readCalls().join(u'\n').toStdString();
    }
}

TEST(GnomeRouteTest, AKeyPressMutterLeavesUnansweredIsReleasedInItsSessionWhichIsStoppedAndNeverRepeated)
{
    FakeMutter mutter;
    mutter.startService({QStringLiteral("--clipboard"), text, QStringLiteral("--late-press"), QStringLiteral("1")});
    // The first press, Ctrl, is answered too late: mutter may have carried it out, or may yet.
    EXPECT_FALSE(pastes(GnomeRoute::shared()));
    ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 1 Stop")));
    EXPECT_EQ(pressesOf(mutter.readCalls()), QStringList{QStringLiteral("1:%1").arg(KEY_LEFTCTRL)});
    EXPECT_EQ(mutter.readCalls().count(QStringLiteral("CALL 0 CreateSession")), 1);

    // The next paste has a session of its own.
    EXPECT_TRUE(pastes(GnomeRoute::shared()));
    ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 2 Stop")));
    EXPECT_EQ(pressesOf(mutter.readCalls()).mid(1),
              QStringList({QStringLiteral("2:%1").arg(KEY_LEFTCTRL), QStringLiteral("2:%1").arg(KEY_V)}));
}

TEST(GnomeRouteTest, QuittingDoesNotWaitForAPasteMutterIsSlowToAnswerAndStopsItsSession)
{
    FakeMutter mutter;
    mutter.startService({QStringLiteral("--clipboard"), text, QStringLiteral("--late-press"), QStringLiteral("1")});
    std::future<bool> paste = std::async(std::launch::async, [] { return pastes(GnomeRoute::shared()); });
    const auto isFinished = [&paste] { return paste.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    ASSERT_TRUE(mutter.waitForCall(ctrlPressed));

    GnomeRoute::shared().close();
    EXPECT_FALSE(isFinished());
    EXPECT_TRUE(mutter.waitForCall(QStringLiteral("CALL 1 Stop")));
    EXPECT_TRUE(QTest::qWaitFor(isFinished, 10000));
    EXPECT_FALSE(paste.get());
}

TEST(GnomeRouteTest, ASessionTheUserStopsFromTheIndicatorStopsPastesUntilTheNextDictation)
{
    FakeMutter mutter;
    mutter.startService(
        {QStringLiteral("--clipboard"), text, QStringLiteral("--closed-at-press"), QStringLiteral("1")});
    GnomeRoute& route = GnomeRoute::shared();
    EXPECT_FALSE(pastes(route));
    EXPECT_TRUE(route.stoppedByUser());

    // No session, so no screen-sharing indicator, until the user dictates again.
    EXPECT_FALSE(pastes(route));
    route.recordingStarted();
    EXPECT_TRUE(pastes(route));
    ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 2 Stop")));
    EXPECT_EQ(mutter.readCalls().count(QStringLiteral("CALL 0 CreateSession")), 2);
}

// While a text is recognized a session is made ready, and mutter shows nothing for it until the paste starts it; one
// mutter no longer knows (it was restarted meanwhile) gives way to a new one.
TEST(GnomeRouteTest, ASessionMadeReadyBeforeThePasteIsTheOneItStartsAndAStaleOneGivesWay)
{
    FakeMutter mutter;
    const QStringList options{QStringLiteral("--clipboard"), text};
    mutter.startService(options);
    GnomeRoute& route = GnomeRoute::shared();
    route.recordingEnded();
    ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 0 CreateSession")));
    EXPECT_FALSE(mutter.readCalls().contains(QStringLiteral("CALL 1 Start")));
    EXPECT_TRUE(pastes(route));
    ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 1 Stop")));
    EXPECT_EQ(mutter.readCalls().count(QStringLiteral("CALL 0 CreateSession")), 1);
    EXPECT_EQ(pressesOf(mutter.readCalls()).size(), 2);

    route.recordingEnded();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return mutter.readCalls().count(QStringLiteral("CALL 0 CreateSession")) == 2; }, 5000));
    mutter.startService(options);
    EXPECT_TRUE(pastes(route));
    ASSERT_TRUE(mutter.waitForCall(QStringLiteral("CALL 1 Stop")));
    EXPECT_EQ(pressesOf(mutter.readCalls()).size(), 2);
}
