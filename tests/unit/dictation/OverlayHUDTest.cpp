#include "dictation/OverlayHUD.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace
{

class OverlayHUDTest : public testing::Test
{
protected:
    OverlayHUD hud;
    int taps = 0;

    // Lets the posted calls run.
    void settle() { QTest::qWait(20); }

    QWidget* panel() const { return hud.panel(); }
    QWidget* part(const char* name) const { return panel()->findChild<QWidget*>(QLatin1String(name)); }
    QString text(const char* label) const { return static_cast<QLabel*>(part(label))->text(); }
    QString title() const { return text("title"); }
    // The parts on show, e.g. "dot subtitle done cancel".
    QString shown() const
    {
        QStringList names;
        for (const char* name : {"dot", "spinner", "subtitle", "done", "cancel"})
            if (part(name)->isVisible())
                names << QLatin1String(name);
        return names.join(QLatin1Char(' '));
    }
    void clickButton(const char* name) { static_cast<QAbstractButton*>(part(name))->click(); }
    void clickAt(QPoint point) { QTest::mouseClick(panel(), Qt::LeftButton, {}, point); }
    bool hidesWithin(int ms) const
    {
        return QTest::qWaitFor([&] { return !panel()->isVisible(); }, ms);
    }
    void showBadge(const QString& title, const QString& hint, double seconds = 6.0)
    {
        hud.showTappableBadge(title, hint, seconds, [this] { ++taps; });
        settle();
    }
};

} // namespace

TEST_F(OverlayHUDTest, SitsCentred110PixelsAboveTheBottomOfTheUsableAreaWithoutTakingTheFocus)
{
    EXPECT_EQ(OverlayHUD::frameFor(QRect(0, 24, 1280, 776)), QRect(462, 626, 356, 64));
    EXPECT_EQ(OverlayHUD::frameFor(QRect(1920, 0, 1024, 700)), QRect(1920 + 334, 526, 356, 64));
    hud.showRecording();
    settle();
    ASSERT_TRUE(panel());
    EXPECT_EQ(panel()->geometry(), OverlayHUD::frameFor(QGuiApplication::primaryScreen()->availableGeometry()));
    const Qt::WindowFlags flags = panel()->windowFlags();
    EXPECT_TRUE(flags.testFlags(Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint));
    EXPECT_TRUE(panel()->testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST_F(OverlayHUDTest, EachStateShowsItsOwnParts)
{
    hud.showRecording();
    settle();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(title(), QStringLiteral("Говорите…"));
    EXPECT_EQ(text("subtitle"), QStringLiteral("0:00 · ⏎ готово · Esc отмена"));
    EXPECT_EQ(shown(), QLatin1String("dot subtitle done cancel"));
    EXPECT_FALSE(hud.isTransient());
    hud.updateTimer(QStringLiteral("1:15 · ⏎ готово · Esc отмена"));
    for (const auto& [level, scale] : {std::pair{0.5F, 1.45}, {2.0F, 1.9}, {-1.0F, 1.0}}) {
        hud.updateLevel(level);
        settle();
        EXPECT_NEAR(part("dot")->property("levelScale").toDouble(), scale, 1e-6) << level;
    }
    EXPECT_EQ(text("subtitle"), QStringLiteral("1:15 · ⏎ готово · Esc отмена"));
    // The recording is not a transient message: typing leaves it.
    hud.dismissIfTransient();
    QTest::qWait(OverlayHUD::fadeMs + 100);
    EXPECT_TRUE(panel()->isVisible());

    hud.showProcessing(QStringLiteral("Распознаю…"));
    hud.updateLevel(1.0F); // levels arriving late do not bring the dot back
    settle();
    EXPECT_EQ(title(), QStringLiteral("Распознаю…"));
    EXPECT_EQ(shown(), QLatin1String("spinner"));

    hud.flash(QStringLiteral("Слишком коротко"));
    settle();
    EXPECT_EQ(title(), QStringLiteral("Слишком коротко"));
    EXPECT_EQ(shown(), QLatin1String("cancel"));
    EXPECT_TRUE(hud.isTransient());

    showBadge(QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"), QStringLiteral("нажмите, чтобы посмотреть разбор"));
    EXPECT_EQ(title(), QStringLiteral("★★★★☆ 4 из 5 — мелкие огрехи"));
    EXPECT_EQ(text("subtitle"), QStringLiteral("нажмите, чтобы посмотреть разбор"));
    EXPECT_EQ(shown(), QLatin1String("subtitle cancel"));
}

TEST_F(OverlayHUDTest, ButtonsFinishOrCancelTheRecordingButOnlyHideAMessage)
{
    int done = 0, cancelled = 0;
    hud.onDone = [&] { ++done; };
    hud.onCancelClick = [&] { ++cancelled; };
    hud.showRecording();
    settle();
    clickButton("done");
    clickButton("cancel");
    EXPECT_EQ(done, 1);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(panel()->isVisible()) << "the owner decides what the panel shows next";
    hud.flash(QStringLiteral("Отменено"));
    settle();
    clickButton("cancel");
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_EQ(cancelled, 1);
}

TEST_F(OverlayHUDTest, FlashHidesAfterItsTimeAndALaterFlashGetsItsFullTime)
{
    hud.flash(QStringLiteral("Слишком коротко"));
    QTest::qWait(1000);
    hud.flash(QStringLiteral("Отменено"));
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
    showBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"));
    // 5 px left of ✕ (at x 326): inside the 6 px margin.
    const QRect cancel = part("cancel")->geometry();
    clickAt(QPoint(cancel.left() - 5, cancel.center().y()));
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_EQ(taps, 0);

    showBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"));
    clickAt(QPoint(cancel.left() - 8, cancel.center().y()));
    clickAt(QPoint(100, 30));
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_EQ(taps, 1);
}

TEST_F(OverlayHUDTest, BadgeExpiresAndTypingDismissesAMessage)
{
    showBadge(QStringLiteral("Значок"), QStringLiteral("подсказка"), 0.3);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(hidesWithin(300 + OverlayHUD::fadeMs + 500));
    // A click on the hidden badge does nothing.
    clickAt(QPoint(100, 30));
    EXPECT_EQ(taps, 0);

    hud.flash(QStringLiteral("Не расслышал"));
    settle();
    hud.dismissIfTransient();
    EXPECT_TRUE(hidesWithin(OverlayHUD::fadeMs + 300));
    EXPECT_FALSE(hud.isTransient());
}

TEST_F(OverlayHUDTest, CallsFromAnotherThreadArriveOnTheMainThread)
{
    std::thread([&] { hud.showProcessing(QStringLiteral("Готовлю модель…")); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel() && panel()->isVisible(); }, 1000));
    EXPECT_EQ(title(), QStringLiteral("Готовлю модель…"));
}
