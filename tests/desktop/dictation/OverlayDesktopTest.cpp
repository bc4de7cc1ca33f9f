#include "DesktopSession.h"
#include "dictation/OverlayHUD.h"
#include "platform/KeyInjector.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
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
    QWidget* part(const char* name) const { return hud.panel()->findChild<QWidget*>(QLatin1String(name)); }

    // A screen point of the panel, given in panel coordinates.
    QPoint onScreen(QPoint point) const { return hud.panel()->geometry().topLeft() + point; }

    void click(QPoint screenPoint)
    {
        ASSERT_EQ(DesktopSession::run(QStringLiteral("xdotool"),
                                      {QStringLiteral("mousemove"), QString::number(screenPoint.x()),
                                       QString::number(screenPoint.y()), QStringLiteral("click"), QStringLiteral("1")}),
                  0);
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
    EXPECT_EQ(hud.panel()->geometry(), OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()));
    QImage screen = capture(QStringLiteral("hud-recording"));
    ASSERT_FALSE(screen.isNull());
    const QRect frame = hud.panel()->geometry();
    EXPECT_TRUE(isRed(screen.pixelColor(onScreen(QPoint(29, 32))))) << "the red dot";
    EXPECT_TRUE(isDark(screen.pixelColor(onScreen(QPoint(44, 58))))) << "the panel's background";
    EXPECT_EQ(KeyInjector::focusedWindowClass(), focused);
    EXPECT_EQ(QGuiApplication::focusWindow(), nullptr);

    // Typing still goes to the field.
    ASSERT_EQ(DesktopSession::run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("ok")}), 0);
    EXPECT_TRUE(field.waitForText(QStringLiteral("ok")));

    hud.showProcessing(QStringLiteral("Распознаю…"));
    QTest::qWait(100);
    EXPECT_EQ(title(), QStringLiteral("Распознаю…"));
    screen = capture(QStringLiteral("hud-processing"));
    EXPECT_FALSE(isRed(screen.pixelColor(onScreen(QPoint(29, 32)))));
    EXPECT_EQ(KeyInjector::focusedWindowClass(), focused);

    hud.flash(QStringLiteral("Похоже, тишина"));
    QTest::qWait(100);
    EXPECT_EQ(title(), QStringLiteral("Похоже, тишина"));
    capture(QStringLiteral("hud-flash"));
    EXPECT_EQ(KeyInjector::focusedWindowClass(), focused);

    hud.showTappableBadge(QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"),
                          QStringLiteral("нажмите, чтобы посмотреть разбор"), 6.0, [] {});
    QTest::qWait(100);
    EXPECT_EQ(title(), QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"));
    capture(QStringLiteral("hud-badge"));
    EXPECT_EQ(KeyInjector::focusedWindowClass(), focused);
    EXPECT_EQ(hud.panel()->geometry(), frame);

    // Raising the field's window does not bury the panel.
    ASSERT_EQ(
        DesktopSession::run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                        QStringLiteral("Поле ввода"), QStringLiteral("windowraise")}),
        0);
    screen = capture(QStringLiteral("hud-badge-over-raised-window"));
    EXPECT_TRUE(isDark(screen.pixelColor(onScreen(QPoint(20, 50)))));

    hud.hide();
    EXPECT_TRUE(hides());
}

TEST_F(OverlayDesktopTest, ClickOnTheBadgeRunsItsActionOnceAndNearCancelOnlyCloses)
{
    int taps = 0;
    hud.showTappableBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 6.0, [&] { ++taps; });
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    const QRect cancel = part("cancel")->geometry();
    click(onScreen(QPoint(cancel.left() - 4, cancel.center().y())));
    EXPECT_TRUE(hides());
    EXPECT_EQ(taps, 0);

    hud.showTappableBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 6.0, [&] { ++taps; });
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    click(onScreen(QPoint(120, 32)));
    EXPECT_TRUE(hides());
    click(onScreen(QPoint(120, 32)));
    EXPECT_EQ(taps, 1);
}

TEST_F(OverlayDesktopTest, RecordingButtonsAnswerRealClicks)
{
    int done = 0, cancelled = 0;
    hud.onDone = [&] { ++done; };
    hud.onCancelClick = [&] { ++cancelled; };
    hud.showRecording();
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    click(onScreen(part("done")->geometry().center()));
    click(onScreen(part("cancel")->geometry().center()));
    EXPECT_EQ(done, 1);
    EXPECT_EQ(cancelled, 1);
}

namespace
{

// A plain window that counts the clicks it receives.
class ClickTarget : public QWidget
{
public:
    int clicks = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++clicks; }
};

} // namespace

TEST_F(OverlayDesktopTest, ProcessingPanelLetsClicksThroughAndMessagesDoNot)
{
    ClickTarget below;
    below.setWindowFlag(Qt::FramelessWindowHint);
    below.setGeometry(
        OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()).adjusted(-20, -20, 20, 20));
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    hud.showProcessing(QStringLiteral("Распознаю…"));
    ASSERT_TRUE(shows());
    QTest::qWait(200);
    click(onScreen(QPoint(120, 32)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return below.clicks == 1; }, 1000)) << "the window under the panel was clicked";

    hud.flash(QStringLiteral("Не расслышал"));
    QTest::qWait(200);
    click(onScreen(QPoint(120, 32)));
    QTest::qWait(200);
    EXPECT_EQ(below.clicks, 1);
    EXPECT_TRUE(hud.panel()->isVisible()) << "a click on the message is not a click on ✕";
}
