#include "DesktopRig.h"
#include "dictation/DictationController.h"
#include "ui/HUDPanel.h"
#include "ui/OverlayHUD.h"

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

    // A real click at a point of the panel, as the panel is now.
    void click(QPoint point)
    {
        DesktopRig::syncWithXServer();
        const QPoint at = onScreen(point);
        DesktopRig::xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    // The screen once it shows what is expected (the panel paints in its own time), saved for people to look at.
    QImage captureWhen(const QString& name, const std::function<bool(const QImage&)>& expected)
    {
        QImage screen;
        (void)QTest::qWaitFor(
            [&] {
                screen = QImage(DesktopRig::screenshot(name));
                return expected(screen);
            },
            5000);
        return screen;
    }
    bool isRed(const QColor& color) const
    {
        return color.red() > 90 && color.red() > 2 * color.green() && color.red() > 2 * color.blue();
    }
};

} // namespace

// That no state takes the focus is shown by every dictation of the whole application pasting into its field.
TEST_F(OverlayDesktopTest,
       TheRecordingPanelShowsItsDotAndTimeAboveTheBottomStaysOnTopAndTakesClicksTheProcessingPanelLetsThrough)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    // The longest profile note takes the place of the keys' hint, whole: the buttons are there.
    hud.showRecording(QStringLiteral("→ Без обработки"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hud.panel() && hud.panel()->isVisible(); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return text("subtitle").startsWith(u"0:0") && text("subtitle").endsWith(u" · → Без обработки"); }, 2000))
        << text("subtitle").toStdString();
    DesktopRig::screenshot(QStringLiteral("hud-recording-profile"));

    hud.showRecording();
    hud.updateTimer(OverlayHUD::timerText(67));
    hud.updateLevel(0.6F);
    EXPECT_EQ(hud.panel()->geometry(), HUDPanel::frameFor(QGuiApplication::primaryScreen()->availableGeometry()));
    // Centred, 110 px above the bottom of the usable area.
    EXPECT_EQ(HUDPanel::frameFor(QRect(1920, 24, 1024, 700)), QRect(1920 + 334, 550, 356, 64));
    EXPECT_EQ(text("title"), QStringLiteral("Говорите…"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return text("subtitle") == QStringLiteral("1:07 · ⏎ готово · Esc отмена"); }, 2000))
        << text("subtitle").toStdString();
    const QImage screen = captureWhen(QStringLiteral("hud-recording"), [&](const QImage& image) {
        return isRed(pixel(image, {29, 32})) && pixel(image, {44, 58}).lightness() < 60;
    });
    // Red also at the low point of the pulse, where the dot is 35 % opaque over the dark panel.
    EXPECT_TRUE(isRed(pixel(screen, {29, 32}))) << "the red dot";
    EXPECT_LT(pixel(screen, {44, 58}).lightness(), 60) << "the panel's dark background";

    // Raising the field's window does not bury the panel.
    DesktopRig::xdotool({"search", "--name", "Поле ввода", "windowraise"});
    EXPECT_LT(pixel(QImage(DesktopRig::screenshot(QStringLiteral("hud-over-raised-window"))), {20, 50}).lightness(),
              60);

    // A plain window under the panel that counts the clicks it receives.
    struct ClickTarget : QWidget
    {
        int clicks = 0;
        void mousePressEvent(QMouseEvent*) override { ++clicks; }
    } below;
    below.setWindowFlag(Qt::FramelessWindowHint);
    below.setGeometry(
        HUDPanel::frameFor(QGuiApplication::primaryScreen()->availableGeometry()).adjusted(-20, -20, 20, 20));
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    int done = 0, cancelled = 0, taps = 0;
    QObject::connect(&hud, &OverlayHUD::doneClicked, [&] { ++done; });
    QObject::connect(&hud, &OverlayHUD::cancelClicked, [&] { ++cancelled; });
    click(hud.panel()->findChild<QWidget*>(QStringLiteral("done"))->geometry().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return done == 1; }, 2000));
    click(hud.panel()->findChild<QWidget*>(QStringLiteral("cancel"))->geometry().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return cancelled == 1; }, 2000));
    EXPECT_EQ(done, 1);

    // The panel changes on its own turn of the event loop.
    hud.showProcessing(QStringLiteral("Распознаю…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("title") == QStringLiteral("Распознаю…"); }, 2000));
    click(QPoint(120, 32));
    EXPECT_TRUE(QTest::qWaitFor([&] { return below.clicks == 1; }, 1000)) << "the window under the panel was clicked";

    // The badge, here an offer to learn a fixed word, shows whole; it takes the click anywhere but on ✕, runs its
    // action and closes.
    const QString offer = QStringLiteral("Запомнить: толвон → Толван?");
    const QString hint = QStringLiteral("Нажмите — запомнить · отказаться — в меню");
    hud.showTappableBadge(offer, hint, 6.0, [&] { ++taps; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("title") == offer; }, 2000)) << text("title").toStdString();
    EXPECT_EQ(text("subtitle"), hint);
    DesktopRig::screenshot(QStringLiteral("hud-suggestion"));
    click(QPoint(120, 32));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hud.panel()->isVisible(); }, 2000));
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(below.clicks, 1);

    // A message alone keeps its end, on two lines if need be.
    const QString message = QStringLiteral("Текст в буфере — вставьте Ctrl+V. Распознать сохранённую запись");
    hud.flash(message);
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("title") == message; }, 2000)) << text("title").toStdString();
    const auto* title = hud.panel()->findChild<QLabel*>(QStringLiteral("title"));
    EXPECT_LE(title->heightForWidth(title->width()), title->height());
}

// The words recognized while recording grow the panel downwards, the header staying where it was; only their last
// two lines show, the newest words brighter, and anything else the panel shows takes them away.
TEST_F(OverlayDesktopTest, LiveTextGrowsThePanelDownwardsShowsItsLastLinesAndGoesWithTheRecording)
{
    hud.showRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return hud.panel() && hud.panel()->isVisible(); }, 2000));
    const QRect header = hud.panel()->geometry();
    const QString older = QStringLiteral("Добрый день, коллеги.\nОтправляю отчёт за третий квартал, "
                                         "цифры сверены с бухгалтерией.");
    const QString newer = older + QStringLiteral(" Жду замечаний до пятницы");
    hud.showLiveText(older);
    hud.showLiveText(newer);
    const auto* live = hud.panel()->findChild<QWidget*>(QStringLiteral("liveText"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return live->accessibleName() == newer; }, 2000));
    EXPECT_EQ(hud.panel()->geometry(), HUDPanel::frameFor(QGuiApplication::primaryScreen()->availableGeometry(), true));
    EXPECT_EQ(hud.panel()->geometry().topLeft(), header.topLeft());
    EXPECT_LE(live->geometry().bottom(), hud.panel()->height() - 8) << "two lines fit inside the panel";
    const QRect lastLine(live->geometry().left(), live->geometry().center().y(), live->width(), live->height() / 2);
    const auto brightIn = [&](const QImage& screen, const QRect& area) {
        int bright = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                bright += pixel(screen, {x, y}).lightness() > 220;
        return bright;
    };
    const QImage screen = captureWhen(QStringLiteral("hud-live-text"),
                                      [&](const QImage& image) { return brightIn(image, lastLine) > 20; });
    EXPECT_GT(brightIn(screen, lastLine), 20) << "the newest words";

    hud.showProcessing(QStringLiteral("Распознаю…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("title") == QStringLiteral("Распознаю…"); }, 2000));
    EXPECT_TRUE(live->isHidden());
    EXPECT_EQ(hud.panel()->geometry(), header);
    hud.showLiveText(QStringLiteral("Запоздавший кусок"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(hud.liveText().isEmpty()) << "no live text outside a recording";
}
