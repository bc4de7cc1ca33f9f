#include "dictation/OverlayHUD.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <thread>

namespace
{

class OverlayHUDTest : public testing::Test
{
protected:
    OverlayHUD hud;

    // Lets the posted calls run.
    void settle() { QTest::qWait(20); }

    QWidget* panel() const { return hud.panel(); }
    QString title() const { return panel()->findChild<QLabel*>(QStringLiteral("title"))->text(); }
    QLabel* subtitle() const { return panel()->findChild<QLabel*>(QStringLiteral("subtitle")); }
    QWidget* part(const char* name) const { return panel()->findChild<QWidget*>(QLatin1String(name)); }
    double dotScale() const { return part("dot")->property("levelScale").toDouble(); }
    bool hidesWithin(int ms) const
    {
        return QTest::qWaitFor([&] { return !panel()->isVisible(); }, ms);
    }
};

} // namespace

TEST_F(OverlayHUDTest, SitsCentred110PixelsAboveTheBottomOfTheUsableArea)
{
    EXPECT_EQ(OverlayHUD::frameFor(QRect(0, 24, 1280, 776)), QRect(462, 626, 356, 64));
    EXPECT_EQ(OverlayHUD::frameFor(QRect(1920, 0, 1024, 700)), QRect(1920 + 334, 526, 356, 64));

    hud.showRecording();
    settle();
    ASSERT_TRUE(panel());
    EXPECT_EQ(panel()->geometry(), OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()));
    const Qt::WindowFlags flags = panel()->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel()->testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST_F(OverlayHUDTest, RecordingShowsDotTimerAndBothButtons)
{
    hud.showRecording();
    settle();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(title(), QStringLiteral("Говорите…"));
    EXPECT_EQ(subtitle()->text(), QStringLiteral("0:00 · ⏎ готово · Esc отмена"));
    EXPECT_TRUE(part("dot")->isVisible());
    EXPECT_FALSE(part("spinner")->isVisible());
    EXPECT_TRUE(part("done")->isVisible());
    EXPECT_TRUE(part("cancel")->isVisible());
    EXPECT_FALSE(hud.isTransient());

    hud.updateTimer(QStringLiteral("1:15 · ⏎ готово · Esc отмена"));
    hud.updateLevel(0.5F);
    settle();
    EXPECT_EQ(subtitle()->text(), QStringLiteral("1:15 · ⏎ готово · Esc отмена"));
    EXPECT_NEAR(dotScale(), 1.45, 1e-6);
    hud.updateLevel(2.0F);
    settle();
    EXPECT_NEAR(dotScale(), 1.9, 1e-6);
    hud.updateLevel(-1.0F);
    settle();
    EXPECT_DOUBLE_EQ(dotScale(), 1.0);

    // The recording is not a transient message: typing leaves it.
    hud.dismissIfTransient();
    settle();
    QTest::qWait(OverlayHUD::fadeMs + 100);
    EXPECT_TRUE(panel()->isVisible());
}

TEST_F(OverlayHUDTest, ButtonsFinishOrCancelTheRecording)
{
    int done = 0, cancelled = 0;
    hud.onDone = [&] { ++done; };
    hud.onCancelClick = [&] { ++cancelled; };
    hud.showRecording();
    settle();
    static_cast<QPushButton*>(part("done"))->click();
    static_cast<QToolButton*>(part("cancel"))->click();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(panel()->isVisible()) << "the owner decides what the panel shows next";
}

TEST_F(OverlayHUDTest, ProcessingShowsSpinnerAndTitleOnly)
{
    hud.showRecording();
    hud.showProcessing(QStringLiteral("Распознаю…"));
    settle();
    EXPECT_EQ(title(), QStringLiteral("Распознаю…"));
    EXPECT_FALSE(subtitle()->isVisible());
    EXPECT_TRUE(part("spinner")->isVisible());
    EXPECT_FALSE(part("dot")->isVisible());
    EXPECT_FALSE(part("done")->isVisible());
    EXPECT_FALSE(part("cancel")->isVisible());
    // Levels arriving late do not bring the dot back.
    hud.updateLevel(1.0F);
    settle();
    EXPECT_FALSE(part("dot")->isVisible());
}

TEST_F(OverlayHUDTest, FlashHidesAfterItsTimeAndALaterFlashGetsItsFullTime)
{
    hud.flash(QStringLiteral("Слишком коротко"));
    settle();
    EXPECT_EQ(title(), QStringLiteral("Слишком коротко"));
    EXPECT_TRUE(part("cancel")->isVisible());
    EXPECT_FALSE(part("done")->isVisible());
    EXPECT_TRUE(hud.isTransient());
    QTest::qWait(1000);
    hud.flash(QStringLiteral("Отменено"));
    settle();
    // The first message's timer would have hidden the panel 0.6 s from now.
    QTest::qWait(1000);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(title(), QStringLiteral("Отменено"));
    EXPECT_TRUE(hidesWithin(OverlayHUD::flashMs + OverlayHUD::fadeMs + 500));
}

TEST_F(OverlayHUDTest, ShowingAgainCancelsThePendingHide)
{
    hud.flash(QStringLiteral("Похоже, тишина"));
    settle();
    hud.showRecording();
    QTest::qWait(OverlayHUD::flashMs + OverlayHUD::fadeMs + 300);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(title(), QStringLiteral("Говорите…"));

    // A show during the fade-out stops it.
    hud.hide();
    QTest::qWait(OverlayHUD::fadeMs / 3);
    hud.showProcessing(QStringLiteral("Распознаю…"));
    QTest::qWait(OverlayHUD::fadeMs + 200);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_DOUBLE_EQ(panel()->windowOpacity(), 1.0);
}

TEST_F(OverlayHUDTest, BadgeClickRunsItsActionOnceAndNearCancelOnlyHides)
{
    int taps = 0;
    hud.showTappableBadge(QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"),
                          QStringLiteral("нажмите, чтобы посмотреть разбор"), 6.0, [&] { ++taps; });
    settle();
    EXPECT_EQ(title(), QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"));
    EXPECT_EQ(subtitle()->text(), QStringLiteral("нажмите, чтобы посмотреть разбор"));
    EXPECT_TRUE(subtitle()->isVisible());
    EXPECT_TRUE(part("cancel")->isVisible());
    EXPECT_FALSE(part("done")->isVisible());

    // 5 px left of ✕ (at x 326): inside the 6 px margin.
    const QRect cancel = part("cancel")->geometry();
    QTest::mouseClick(panel(), Qt::LeftButton, {}, QPoint(cancel.left() - 5, cancel.center().y()));
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_EQ(taps, 0);

    hud.showTappableBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 6.0, [&] { ++taps; });
    settle();
    QTest::mouseClick(panel(), Qt::LeftButton, {}, QPoint(cancel.left() - 8, cancel.center().y()));
    QTest::mouseClick(panel(), Qt::LeftButton, {}, QPoint(100, 30));
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_EQ(taps, 1);
}

TEST_F(OverlayHUDTest, BadgeExpiresAndTypingDismissesIt)
{
    int taps = 0;
    hud.showTappableBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 0.3, [&] { ++taps; });
    settle();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(hidesWithin(300 + OverlayHUD::fadeMs + 500));
    // A click on the hidden badge does nothing.
    QTest::mouseClick(panel(), Qt::LeftButton, {}, QPoint(100, 30));
    EXPECT_EQ(taps, 0);

    hud.flash(QStringLiteral("Не расслышал"));
    settle();
    hud.dismissIfTransient();
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_FALSE(hud.isTransient());
}

TEST_F(OverlayHUDTest, CancelOnATransientMessageOnlyHides)
{
    int cancelled = 0;
    hud.onCancelClick = [&] { ++cancelled; };
    hud.flash(QStringLiteral("Отменено"));
    settle();
    static_cast<QToolButton*>(part("cancel"))->click();
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_EQ(cancelled, 0);
}

TEST_F(OverlayHUDTest, CallsFromAnotherThreadArriveOnTheMainThread)
{
    std::thread worker([&] { hud.showProcessing(QStringLiteral("Готовлю модель…")); });
    worker.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel() && panel()->isVisible(); }, 1000));
    EXPECT_EQ(title(), QStringLiteral("Готовлю модель…"));
}
