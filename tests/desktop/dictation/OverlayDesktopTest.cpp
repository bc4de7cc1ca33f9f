#include "DesktopSession.h"
#include "dictation/OverlayHUD.h"
#include "platform/KeyInjector.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

namespace
{

class OverlayDesktopTest : public DesktopTest
{
protected:
    OverlayHUD hud;

    bool shows()
    {
        return QTest::qWaitFor([&] { return hud.panel() && hud.panel()->isVisible(); }, 2000);
    }
    bool hides()
    {
        return QTest::qWaitFor([&] { return !hud.panel()->isVisible(); }, 2000);
    }
    QString title() const { return hud.panel()->findChild<QLabel*>(QStringLiteral("title"))->text(); }
    QRect part(const char* name) const { return hud.panel()->findChild<QWidget*>(QLatin1String(name))->geometry(); }

    // A screen point of the panel, given in panel coordinates.
    QPoint onScreen(QPoint point) const { return hud.panel()->geometry().topLeft() + point; }
    QColor pixel(const QImage& screen, QPoint point) const { return screen.pixelColor(onScreen(point)); }

    // A real click at a point of the panel.
    void click(QPoint point)
    {
        const QPoint at = onScreen(point);
        DesktopSession::xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
        QTest::qWait(150);
    }

    // The screen as the user sees it now, saved for people to look at.
    QImage capture(const QString& name)
    {
        // Lets the panel paint before the picture is taken.
        QTest::qWait(250);
        return QImage(DesktopSession::screenshot(name));
    }
};

// Red also at the low point of the pulse, where the dot is 35 % opaque over the dark panel.
bool isRed(QColor color)
{
    return color.red() > 90 && color.red() > 2 * color.green() && color.red() > 2 * color.blue();
}

bool isDark(QColor color)
{
    return color.lightness() < 60;
}

} // namespace

TEST_F(OverlayDesktopTest, EveryStateShowsOnTopWithoutTakingTheFocus)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    const QStringList focused = KeyInjector::focusedWindowClass();
    ASSERT_FALSE(focused.isEmpty());

    hud.showRecording();
    ASSERT_TRUE(shows());
    hud.updateTimer(QStringLiteral("0:07 · ⏎ готово · Esc отмена"));
    hud.updateLevel(0.6F);
    const QRect frame = hud.panel()->geometry();
    EXPECT_EQ(frame, OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()));
    QImage screen = capture(QStringLiteral("hud-recording"));
    ASSERT_FALSE(screen.isNull());
    EXPECT_TRUE(isRed(pixel(screen, {29, 32}))) << "the red dot";
    EXPECT_TRUE(isDark(pixel(screen, {44, 58}))) << "the panel's background";
    EXPECT_EQ(KeyInjector::focusedWindowClass(), focused);
    EXPECT_EQ(QGuiApplication::focusWindow(), nullptr);
    // Typing still goes to the field.
    DesktopSession::xdotool({"type", "ok"});
    EXPECT_TRUE(field.waitForText("ok"));

    const auto show = [&](const QString& expectedTitle, const char* picture) {
        QTest::qWait(100);
        EXPECT_EQ(title(), expectedTitle);
        screen = capture(QLatin1String(picture));
        EXPECT_EQ(KeyInjector::focusedWindowClass(), focused) << picture;
        EXPECT_EQ(hud.panel()->geometry(), frame) << picture;
    };
    hud.showProcessing(QStringLiteral("Распознаю…"));
    show(QStringLiteral("Распознаю…"), "hud-processing");
    EXPECT_FALSE(isRed(pixel(screen, {29, 32})));
    hud.flash(QStringLiteral("Похоже, тишина"));
    show(QStringLiteral("Похоже, тишина"), "hud-flash");
    const QString badge = QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи");
    hud.showTappableBadge(badge, QStringLiteral("нажмите, чтобы посмотреть разбор"), 6.0, [] {});
    show(badge, "hud-badge");

    // Raising the field's window does not bury the panel.
    DesktopSession::xdotool({"search", "--name", "Поле ввода", "windowraise"});
    screen = capture(QStringLiteral("hud-badge-over-raised-window"));
    EXPECT_TRUE(isDark(pixel(screen, {20, 50})));
    hud.hide();
    EXPECT_TRUE(hides());
}

TEST_F(OverlayDesktopTest, RealClicksReachTheButtonsAndTheBadge)
{
    int done = 0, cancelled = 0, taps = 0;
    hud.onDone = [&] { ++done; };
    hud.onCancelClick = [&] { ++cancelled; };
    hud.showRecording();
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    click(part("done").center());
    click(part("cancel").center());
    EXPECT_EQ(done, 1);
    EXPECT_EQ(cancelled, 1);

    // The badge takes the click, runs its action and closes.
    hud.showTappableBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 6.0, [&] { ++taps; });
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    click(QPoint(120, 32));
    EXPECT_TRUE(hides());
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(cancelled, 1);
}

TEST_F(OverlayDesktopTest, ProcessingPanelLetsClicksThroughAndMessagesDoNot)
{
    // A plain window under the panel that counts the clicks it receives.
    struct ClickTarget : QWidget
    {
        int clicks = 0;
        void mousePressEvent(QMouseEvent*) override { ++clicks; }
    } below;
    below.setWindowFlag(Qt::FramelessWindowHint);
    below.setGeometry(
        OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()).adjusted(-20, -20, 20, 20));
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    hud.showProcessing(QStringLiteral("Распознаю…"));
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    click(QPoint(120, 32));
    EXPECT_TRUE(QTest::qWaitFor([&] { return below.clicks == 1; }, 1000)) << "the window under the panel was clicked";

    hud.flash(QStringLiteral("Не расслышал"));
    QTest::qWait(200);
    click(QPoint(120, 32));
    QTest::qWait(200);
    EXPECT_EQ(below.clicks, 1);
    EXPECT_TRUE(hud.panel()->isVisible()) << "a click on the message is not a click on ✕";
}
