#include "ui/SpeechReview.h"

#include "core/SettingsStore.h"
#include "quality/SpeechQuality.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/WindowShots.h"
#include "ui/Glyphs.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using Decision = SpeechReview::Decision;
using Mode = SpeechReview::Mode;

const QString threeFillers = QStringLiteral("Ну, я, короче, пошёл, типа, домой.");
const QString goodPhrase = QStringLiteral("Я пошёл домой.");

class SpeechReviewTest : public testing::Test
{
protected:
    void show(const QString& text, Mode mode, std::optional<int> previous = std::nullopt,
              ActiveWindow::WindowId target = 0)
    {
        review->show(text, SpeechQuality::analyze(text), target, previous, mode,
                     [this](const Decision& d) { decisions.append(d); });
    }

    template <typename T = QWidget> T* part(const char* name) const
    {
        return review->window()->findChild<T*>(QLatin1String(name));
    }
    QString text(const char* name) const
    {
        if (auto* view = part<QTextEdit>(name))
            return view->toPlainText();
        return part<QLabel>(name) ? part<QLabel>(name)->text() : part<QPushButton>(name)->text();
    }
    void click(const char* name) { part<QPushButton>(name)->click(); }
    std::unique_ptr<SpeechReview> review = std::make_unique<SpeechReview>();
    QList<Decision> decisions;
};

} // namespace

// Looked at (and pictured) at 1x and, as a second ctest entry, at 2x.
TEST_F(SpeechReviewTest, ScoreAttemptHintsAndButtons)
{
    const auto hue = [this] { return part("scoreLabel")->palette().color(QPalette::WindowText).hsvHue(); };
    // Without an emoji font the microphone is left out.
    const QString retry = Glyphs::displayable(QStringLiteral("🎙 Повторить фразу"));
    const auto buttons = [this] {
        QStringList shown;
        for (const char* name : {"cancelBtn", "retryBtn", "asisBtn", "cleanBtn", "copyBtn"})
            if (part(name)->isVisible())
                shown << text(name);
        return shown.join('|');
    };
    show(threeFillers, Mode::decide, 2);
    EXPECT_EQ(text("scoreLabel"), "★★★☆☆  3 из 5 — ошибок многовато");
    EXPECT_NEAR(hue(), 34, 15) << "orange";
    EXPECT_EQ(text("attemptLabel"), "Повторная попытка · прошлая оценка: 2 из 5 — прогресс!");
    EXPECT_TRUE(text("hints").startsWith(QStringLiteral("• «Ну» — ")) && text("hints").count('\n') == 2)
        << text("hints").toStdString();
    EXPECT_EQ(buttons(), "Отмена|" + retry + "|Как есть|Вставить очищенный (−3)");
    WindowShots::expectTextsFit(review->window());
    WindowShots::save(review->window(), "review-decide");

    show(goodPhrase, Mode::inspect, 5);
    EXPECT_EQ(text("scoreLabel"), "★★★★★  5 из 5 — идеально");
    EXPECT_NEAR(hue(), 135, 15) << "green";
    EXPECT_EQ(text("attemptLabel"), "Повторная попытка · прошлая оценка: 5 из 5");
    EXPECT_EQ(text("hints"), "");
    EXPECT_EQ(buttons(), "Закрыть|" + retry);
    show(goodPhrase, Mode::decide);
    EXPECT_FALSE(part("attemptLabel")->isVisible());
    EXPECT_EQ(buttons(), "Отмена|" + retry + "|Как есть");
}

TEST_F(SpeechReviewTest, EveryShowEndsWithExactlyOneDecision)
{
    show(threeFillers, Mode::decide);
    show(threeFillers, Mode::inspect);
    show(threeFillers, Mode::decide);
    review->window()->close();
    show(threeFillers, Mode::inspect);
    review->window()->close();
    review->window()->close();
    EXPECT_EQ(decisions,
              (QList<Decision>{
                  {Decision::cancel, {}}, {Decision::close, {}}, {Decision::cancel, {}}, {Decision::close, {}}}));

    decisions.clear();
    show(threeFillers, Mode::decide, 1);
    click("retryBtn");
    EXPECT_EQ(review->takeRetryScore(), 3);
    EXPECT_EQ(review->takeRetryScore(), std::nullopt);
    show(threeFillers, Mode::decide);
    click("asisBtn"); // no window to return to: at once
    EXPECT_EQ(decisions, (QList<Decision>{{Decision::retry, {}}, {Decision::insert, threeFillers}}));

    // An insertion waits for the window it goes to, but not past the review's end.
    show(threeFillers, Mode::decide, {}, 0x1ffffff0);
    click("cleanBtn");
    review.reset();
    // A timer set later than the review's own has fired: the review's would have fired by now.
    bool passed = false;
    QTimer::singleShot(SpeechReview::activationDelayMs, [&] { passed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return passed; }, 5000));
    EXPECT_EQ(decisions.size(), 2);
}

TEST_F(SpeechReviewTest, AdvisorSaysWhyItIsSilentOrOffersTheModelsVariant)
{
    const auto advise = [this](bool enabled, qint64 intensity) {
        SettingsStore::shared().setBool(SettingsKey::styleAdvisor, enabled);
        SettingsStore::shared().setInteger(SettingsKey::advisorIntensity, intensity);
        show(threeFillers, Mode::decide);
        EXPECT_EQ(text("advisorTitle"), Glyphs::displayable("💡 Советник стиля (локальный ИИ):"));
        return text("advisor");
    };
    SettingsStore::shared().setString(SettingsKey::advisorStyle, QStringLiteral("formal"));
    EXPECT_TRUE(advise(false, 0).startsWith(QStringLiteral("Советник выключен. Включите в меню")));
    EXPECT_TRUE(advise(true, 0).startsWith(QStringLiteral("Вмешательство: 0 — советник только подсвечивает.")));
    EXPECT_EQ(advise(true, 1), "Модель советника ещё не загружена (меню «Грамотная речь»).");
    EXPECT_FALSE(part("advisorBtn")->isVisible());

    const QString answerFile = TestEnvironment::makeDirectory(QStringLiteral("llama")) + QStringLiteral("/answer");
    qputenv("TOLVAN_LLAMA_BIN", FAKE_LLAMA_SERVER);
    qputenv("FAKE_LLAMA_CONTENT_FILE", answerFile.toUtf8());
    QFile model(TestFiles::write(AdvisorEngine::shared().modelPath(), "GGUF"));
    ASSERT_TRUE(model.resize(AdvisorEngine::ModelSizes{}.presentAbove + 1));
    decisions.clear();
    for (const auto& [answer, title, advice, offered] :
         {std::tuple{"ОЦЕНКА: 3\nТЕКСТ: Я пошёл домой.", "ИИ-оценка: 3 из 5", "Я пошёл домой.", true},
          {"ОЦЕНКА: 5\nТЕКСТ: Я пошёл домой.", "ИИ-оценка: 5 из 5", "Фраза и так хороша — переписывать нечего ✓",
           false},
          {"Извините, не могу переписать.", "локальный ИИ", "Советник не справился с этой фразой", false}}) {
        TestFiles::write(answerFile, answer);
        EXPECT_EQ(advise(true, 5), "Советник думает…");
        ASSERT_TRUE(QTest::qWaitFor([&] { return text("advisor") != QStringLiteral("Советник думает…"); }, 30000));
        EXPECT_EQ(text("advisorTitle"),
                  Glyphs::displayable(QStringLiteral("💡 Советник стиля (%1):").arg(QString::fromUtf8(title))));
        EXPECT_TRUE(text("advisor").startsWith(QString::fromUtf8(advice))) << text("advisor").toStdString();
        EXPECT_EQ(part("advisorBtn")->isVisible(), offered);
        if (offered)
            click("advisorBtn");
    }
    EXPECT_EQ(decisions,
              (QList<Decision>{{Decision::cancel, {}}, {Decision::insert, goodPhrase}, {Decision::cancel, {}}}));
}
