#include "DesktopSession.h"
#include "dictation/DictationController.h"
#include "dictation/OverlayHUD.h"

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

    QString text(const char* label) const { return hud.panel()->findChild<QLabel*>(QLatin1String(label))->text(); }

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

} // namespace

// That no state takes the focus is shown by every dictation of the whole application pasting into its field.
TEST_F(OverlayDesktopTest,
       TheRecordingPanelShowsItsDotAndTimeAboveTheBottomStaysOnTopAndTakesClicksTheProcessingPanelLetsThrough)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    hud.showRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return hud.panel() && hud.panel()->isVisible(); }, 2000));
    hud.updateTimer(DictationController::timerText(67));
    hud.updateLevel(0.6F);
    EXPECT_EQ(hud.panel()->geometry(), OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()));
    // Centred, 110 px above the bottom of the usable area.
    EXPECT_EQ(OverlayHUD::frameFor(QRect(1920, 24, 1024, 700)), QRect(1920 + 334, 550, 356, 64));
    EXPECT_EQ(text("title"), QStringLiteral("Говорите…"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return text("subtitle") == QStringLiteral("1:07 · ⏎ готово · Esc отмена"); }, 2000))
        << text("subtitle").toStdString();
    const QImage screen = capture(QStringLiteral("hud-recording"));
    // Red also at the low point of the pulse, where the dot is 35 % opaque over the dark panel.
    const QColor dot = pixel(screen, {29, 32});
    EXPECT_TRUE(dot.red() > 90 && dot.red() > 2 * dot.green() && dot.red() > 2 * dot.blue()) << "the red dot";
    EXPECT_LT(pixel(screen, {44, 58}).lightness(), 60) << "the panel's dark background";

    // Raising the field's window does not bury the panel.
    DesktopSession::xdotool({"search", "--name", "Поле ввода", "windowraise"});
    EXPECT_LT(pixel(capture(QStringLiteral("hud-over-raised-window")), {20, 50}).lightness(), 60);

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

    int done = 0, cancelled = 0, taps = 0;
    hud.onDone = [&] { ++done; };
    hud.onCancelClick = [&] { ++cancelled; };
    click(hud.panel()->findChild<QWidget*>(QStringLiteral("done"))->geometry().center());
    click(hud.panel()->findChild<QWidget*>(QStringLiteral("cancel"))->geometry().center());
    EXPECT_EQ(done, 1);
    EXPECT_EQ(cancelled, 1);

    hud.showProcessing(QStringLiteral("Распознаю…"));
    QTest::qWait(200);
    click(QPoint(120, 32));
    EXPECT_TRUE(QTest::qWaitFor([&] { return below.clicks == 1; }, 1000)) << "the window under the panel was clicked";

    // The badge takes the click anywhere but on ✕, runs its action and closes.
    hud.showTappableBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 6.0, [&] { ++taps; });
    QTest::qWait(200);
    click(QPoint(120, 32));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hud.panel()->isVisible(); }, 2000));
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(below.clicks, 1);
}
