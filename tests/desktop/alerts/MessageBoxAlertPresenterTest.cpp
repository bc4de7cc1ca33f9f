#include "app/MessageBoxAlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace
{

class MessageBoxAlertPresenterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("TOLVAN_TEST_DESKTOP") != QLatin1String("1"))
            GTEST_SKIP() << "needs the desktop session of tests/desktop/with-desktop.sh";
    }

    // Runs `act` on the message box once it is up, from inside its modal loop.
    int presentAndAct(const Alert& alert, std::function<void(QMessageBox&)> act)
    {
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                poll.stop();
                seen = true;
                act(*box);
            }
        });
        poll.start();
        return MessageBoxAlertPresenter().present(alert);
    }

    bool seen = false;
};

} // namespace

TEST_F(MessageBoxAlertPresenterTest, ShowsTheAlertAndAnswersTheChosenButton)
{
    const Alert alert{QStringLiteral("Доступно обновление: Толван 9.9"),
                      QStringLiteral("Новая версия готова."),
                      {QStringLiteral("Обновить"), QStringLiteral("Позже"), QStringLiteral("Пропустить эту версию")}};
    const int answer = presentAndAct(alert, [](QMessageBox& box) {
        EXPECT_EQ(box.text(), QStringLiteral("Доступно обновление: Толван 9.9"));
        EXPECT_EQ(box.informativeText(), QStringLiteral("Новая версия готова."));
        QStringList titles;
        for (QAbstractButton* button : box.buttons())
            titles.append(button->text());
        EXPECT_EQ(titles.size(), 3);
        EXPECT_TRUE(titles.contains(QStringLiteral("Позже")));
        ASSERT_NE(box.defaultButton(), nullptr);
        EXPECT_EQ(box.defaultButton()->text(), QStringLiteral("Обновить"));
        for (QAbstractButton* button : box.buttons()) {
            if (button->text() == QStringLiteral("Пропустить эту версию"))
                QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(answer, 2);
}

TEST_F(MessageBoxAlertPresenterTest, EnterTakesTheDefaultButton)
{
    const int answer = presentAndAct(
        {QStringLiteral("Обновления"), QStringLiteral("У вас последняя версия — 0.1.0."), {QStringLiteral("Понятно")}},
        [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_TRUE(seen);
    EXPECT_EQ(answer, 0);
}
