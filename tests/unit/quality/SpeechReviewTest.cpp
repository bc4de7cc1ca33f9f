#include "quality/SpeechReview.h"

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "quality/AdvisorText.h"
#include "quality/SpeechQuality.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string_view>
#include <tuple>

void PrintTo(const QString& text, std::ostream* stream)
{
    *stream << '"' << text.toStdString() << '"';
}

void PrintTo(const SpeechReview::Decision& decision, std::ostream* stream)
{
    *stream << "Decision(" << decision.kind << ", \"" << decision.text.toStdString() << "\")";
}

namespace
{

using Decision = SpeechReview::Decision;
using Mode = SpeechReview::Mode;

const QString threeFillers = QStringLiteral("Ну, я, короче, пошёл, типа, домой.");
// Two fillers, and «я» three times: a style finding that cleaning leaves alone.
const QString twoFillersAndStyle = QStringLiteral("Я думаю, ну, я пошёл, короче, я устал.");
const QString goodPhrase = QStringLiteral("Я пошёл домой.");

class SpeechReviewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        SettingsStore::shared().setBool(SettingsKey::styleAdvisor, false);
        SettingsStore::shared().setString(SettingsKey::advisorStyle, QStringLiteral("neutral"));
        QFile::remove(Paths::advisorModelsDir() + QLatin1Char('/') + AdvisorEngine::modelFileName);
    }

    void show(const QString& text, Mode mode, std::optional<int> previous = std::nullopt,
              ActiveWindow::WindowId prevApp = 0, QList<SpeechIssue> issues = {})
    {
        if (issues.isEmpty())
            issues = SpeechQuality::analyze(text);
        review->show(text, issues, prevApp, previous, mode, [this](const Decision& d) { decisions.append(d); });
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
    QBrush backgroundAt(qsizetype index) const
    {
        QTextCursor cursor(part<QTextEdit>("phrase")->document());
        cursor.setPosition(static_cast<int>(index) + 1);
        return cursor.charFormat().background();
    }

    std::unique_ptr<SpeechReview> review = std::make_unique<SpeechReview>();
    QList<Decision> decisions;
};

} // namespace

TEST_F(SpeechReviewTest, ScoreAttemptHintsAndButtons)
{
    const auto hue = [this] { return part("scoreLabel")->palette().color(QPalette::WindowText).hsvHue(); };
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
    EXPECT_EQ(text("hints").split('\n').size(), 3);
    EXPECT_TRUE(text("hints").startsWith(QStringLiteral("• «Ну» — "))) << text("hints").toStdString();
    EXPECT_EQ(
        buttons(),
        "Отмена|🎙 Повторить фразу|Как есть|Вставить очищенный (−3)");

    show(goodPhrase, Mode::inspect, 5);
    EXPECT_EQ(text("scoreLabel"), "★★★★★  5 из 5 — идеально");
    EXPECT_NEAR(hue(), 135, 15) << "green";
    EXPECT_EQ(text("attemptLabel"), "Повторная попытка · прошлая оценка: 5 из 5");
    EXPECT_EQ(text("hints"), "");
    EXPECT_EQ(buttons(), "Закрыть|🎙 Повторить фразу");
    show(goodPhrase, Mode::decide);
    EXPECT_FALSE(part("attemptLabel")->isVisible());
    EXPECT_EQ(buttons(), "Отмена|🎙 Повторить фразу|Как есть");
}

TEST_F(SpeechReviewTest, ReturnTakesTheVisibleCleaningButtonEvenFromTheTextView)
{
    const QString cleaned = QStringLiteral("Я думаю я пошёл я устал.");
    for (const auto& [mode, key, button, title, decision] :
         {std::tuple{Mode::decide, Qt::Key_Return, "cleanBtn", "Вставить очищенный (−2)",
                     Decision{Decision::insert, cleaned}},
          {Mode::inspect, Qt::Key_Enter, "copyBtn", "Скопировать очищенный (−2)",
           Decision{Decision::copyClean, cleaned}}}) {
        decisions.clear();
        show(twoFillersAndStyle, mode);
        EXPECT_EQ(text(button), title);
        ASSERT_TRUE(QTest::qWaitForWindowActive(review->window()));
        part("phrase")->setFocus();
        QTest::keyClick(part("phrase"), key);
        EXPECT_EQ(decisions, QList<Decision>{decision});
        EXPECT_FALSE(review->window()->isVisible());
    }
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
    EXPECT_FALSE(review->window()->isVisible());

    decisions.clear();
    show(threeFillers, Mode::decide, 1);
    click("retryBtn");
    EXPECT_EQ(review->retryScore, 3);
    show(threeFillers, Mode::decide);
    click("asisBtn"); // no window to return to: at once
    EXPECT_EQ(decisions, (QList<Decision>{{Decision::retry, {}}, {Decision::insert, threeFillers}}));

    decisions.clear();
    const ActiveWindow::WindowId gone = 0x1ffffff0;
    show(threeFillers, Mode::decide, {}, gone);
    click("cleanBtn");
    QTest::qWait(SpeechReview::activationDelayMs - 150);
    EXPECT_TRUE(decisions.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !decisions.isEmpty(); }, 2000));
    EXPECT_EQ(decisions, QList<Decision>{(Decision{Decision::insert, goodPhrase})});
    show(threeFillers, Mode::decide, {}, gone);
    click("asisBtn");
    review.reset();
    QTest::qWait(SpeechReview::activationDelayMs + 150);
    EXPECT_EQ(decisions.size(), 1) << "no decision once the review is gone";
}

TEST_F(SpeechReviewTest, FindingsPaintOverStyleAndExtraPlacesAreMarkedToo)
{
    // Nine commas make the whole sentence a style finding; the fillers inside it must stay visible.
    const QString overloaded = QStringLiteral("Ну, я, короче, я, значит, пошёл, типа, я, вот, домой.");
    QList<SpeechIssue> issues = SpeechQuality::analyze(overloaded);
    std::stable_partition(issues.begin(), issues.end(),
                          [](const SpeechIssue& issue) { return issue.kind != SpeechIssue::Kind::style; });
    ASSERT_EQ(issues.back().kind, SpeechIssue::Kind::style);
    show(overloaded, Mode::inspect, {}, 0, issues);
    const std::pair filler{48, 0.35}, style{189, 0.22};
    for (const auto& [word, expected] : {std::pair{u"Ну", filler}, {u"типа", filler}, {u"пошёл", style}}) {
        const QColor color = backgroundAt(overloaded.indexOf(QStringView(word))).color();
        EXPECT_NEAR(color.hsvHue(), expected.first, 12) << QStringView(word).toString().toStdString();
        EXPECT_NEAR(color.alphaF(), expected.second, 0.01) << QStringView(word).toString().toStdString();
    }
    QTextCursor cursor(part<QTextEdit>("phrase")->document());
    cursor.setPosition(1);
    EXPECT_EQ(cursor.charFormat().fontPointSize(), 13.5);

    show(twoFillersAndStyle, Mode::inspect);
    EXPECT_NEAR(backgroundAt(twoFillersAndStyle.lastIndexOf(u'я')).color().hsvHue(), style.first, 12);
    EXPECT_EQ(backgroundAt(twoFillersAndStyle.indexOf(u"устал")).style(), Qt::NoBrush);
}

TEST_F(SpeechReviewTest, AnimalStylesTranslateWithoutTheModel)
{
    for (const auto& [style, mode, title, button, kind] :
         {std::tuple{"dog", Mode::decide, "💡 Советник (собачий переводчик 🐶):", "Вставить перевод", Decision::insert},
          {"cat", Mode::inspect, "💡 Советник (кошачий переводчик 🐱):", "Скопировать перевод", Decision::copyClean}}) {
        SettingsStore::shared().setString(SettingsKey::advisorStyle, QString::fromUtf8(style));
        decisions.clear();
        show(threeFillers, mode);
        const QString translation = AdvisorText::animalTranslate(threeFillers, style == std::string_view("cat"));
        EXPECT_NE(translation, threeFillers);
        EXPECT_EQ(text("advisorTitle"), title);
        EXPECT_EQ(text("advisor"), translation);
        EXPECT_EQ(text("advisorBtn"), button);
        ASSERT_TRUE(part("advisorBtn")->isVisible());
        click("advisorBtn");
        EXPECT_EQ(decisions, (QList<Decision>{{kind, translation}}));
    }
}

TEST_F(SpeechReviewTest, AdvisorSaysWhyItIsSilentOrOffersTheModelsVariant)
{
    const auto advise = [this](bool enabled, qint64 intensity) {
        SettingsStore::shared().setBool(SettingsKey::styleAdvisor, enabled);
        SettingsStore::shared().setInteger(SettingsKey::advisorIntensity, intensity);
        show(threeFillers, Mode::decide);
        EXPECT_EQ(text("advisorTitle"), "💡 Советник стиля (локальный ИИ):");
        return text("advisor");
    };
    SettingsStore::shared().setString(SettingsKey::advisorStyle, QStringLiteral("dog"));
    show(threeFillers, Mode::decide);
    SettingsStore::shared().setString(SettingsKey::advisorStyle, QStringLiteral("formal"));
    EXPECT_TRUE(advise(false, 0).startsWith(QStringLiteral("Советник выключен. Включите в меню")));
    EXPECT_TRUE(advise(true, 0).startsWith(QStringLiteral("Вмешательство: 0 — советник только подсвечивает.")));
    EXPECT_EQ(advise(true, 1), "Модель советника ещё не загружена (меню «Грамотная речь»).");
    EXPECT_FALSE(part("advisorBtn")->isVisible());

    const QString answerFile = TestEnvironment::makeDirectory(QStringLiteral("llama")) + QStringLiteral("/answer");
    qputenv("TOLVAN_LLAMA_BIN", FAKE_LLAMA_SERVER);
    qputenv("FAKE_LLAMA_CONTENT_FILE", answerFile.toUtf8());
    QFile model(AdvisorEngine::shared().modelPath());
    ASSERT_TRUE(QDir().mkpath(Paths::advisorModelsDir()) && model.open(QIODevice::WriteOnly) &&
                model.write("GGUF") == 4 && model.resize(AdvisorEngine::ModelSizes{}.presentAbove + 1));
    model.close();
    decisions.clear();
    for (const auto& [answer, title, advice, offered] :
         {std::tuple{"ОЦЕНКА: 3\nТЕКСТ: Я пошёл домой.", "ИИ-оценка: 3 из 5", "Я пошёл домой.", true},
          {"ОЦЕНКА: 5\nТЕКСТ: Я пошёл домой.", "ИИ-оценка: 5 из 5", "Фраза и так хороша — переписывать нечего ✓",
           false},
          {"Извините, не могу переписать.", "локальный ИИ", "Советник не справился с этой фразой", false}}) {
        TestFiles::write(answerFile, answer);
        EXPECT_EQ(advise(true, 5), "Советник думает…");
        ASSERT_TRUE(QTest::qWaitFor([&] { return text("advisor") != QStringLiteral("Советник думает…"); }, 30000));
        EXPECT_EQ(text("advisorTitle"), QStringLiteral("💡 Советник стиля (%1):").arg(QString::fromUtf8(title)));
        EXPECT_TRUE(text("advisor").startsWith(QString::fromUtf8(advice))) << text("advisor").toStdString();
        EXPECT_EQ(part("advisorBtn")->isVisible(), offered);
        if (offered)
            click("advisorBtn");
    }
    EXPECT_EQ(decisions,
              (QList<Decision>{{Decision::cancel, {}}, {Decision::insert, goodPhrase}, {Decision::cancel, {}}}));
}

TEST_F(SpeechReviewTest, EveryTitleFitsItsPlace)
{
    // The inspect window shows the longest score line, that of a score of 1.
    const QString worst = QStringLiteral("Ну, короче, типа, значит, вот, ну, короче, типа, значит, вот.");
    for (const auto& [phrase, mode, style, name] :
         {std::tuple{threeFillers, Mode::decide, "neutral", "decide"}, {worst, Mode::inspect, "dog", "inspect"}}) {
        SettingsStore::shared().setString(SettingsKey::advisorStyle, QString::fromUtf8(style));
        show(phrase, mode, 2);
        QWidget* window = review->window();
        for (const QPushButton* button : window->findChildren<QPushButton*>())
            EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
        for (const QLabel* label : window->findChildren<QLabel*>())
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        const QPixmap image = window->grab();
        const QString scale =
            image.devicePixelRatio() > 1 ? QStringLiteral("@%1x").arg(image.devicePixelRatio()) : QString();
        QDir().mkpath(QStringLiteral(TOLVAN_SCREENSHOT_DIR));
        EXPECT_TRUE(image.save(QStringLiteral(TOLVAN_SCREENSHOT_DIR "/review-%1%2.png").arg(name, scale)));
    }
}
