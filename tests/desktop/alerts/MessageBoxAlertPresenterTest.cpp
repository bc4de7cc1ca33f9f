#include "app/MessageBoxAlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

// Presents the alert and runs `act` on the message box once it is up, from inside its modal loop; the answer.
static int presentAndAct(const Alert& alert, const std::function<void(QMessageBox&)>& act)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            act(*box);
        }
    });
    poll.start(20);
    return MessageBoxAlertPresenter().present(alert);
}

TEST(MessageBoxAlertPresenterTest, ShowsTheAlertAndAnswersTheClickedButtonOrTheFirstOnEnter)
{
    if (qEnvironmentVariable("TOLVAN_TEST_DESKTOP") != QLatin1String("1"))
        GTEST_SKIP() << "needs the desktop session of tests/desktop/with-desktop.sh";
    const Alert alert{QStringLiteral("Доступно обновление"),
                      QStringLiteral("Готово."),
                      {QStringLiteral("Обновить"), QStringLiteral("Позже"), QStringLiteral("Пропустить эту версию")}};
    QStringList titles;
    const auto clickTheLast = [&](QMessageBox& box) {
        EXPECT_EQ(box.text(), alert.message);
        EXPECT_EQ(box.informativeText(), alert.informativeText);
        for (QAbstractButton* button : box.buttons())
            titles.append(button->text());
        QTest::mouseClick(box.buttons().at(titles.indexOf(alert.buttons.back())), Qt::LeftButton);
    };
    EXPECT_EQ(presentAndAct(alert, clickTheLast), 2);
    // The style orders the buttons; these titles happen to be in alphabetical order.
    titles.sort();
    EXPECT_EQ(titles, alert.buttons);
    EXPECT_EQ(presentAndAct(alert, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }), 0);

    // A file name with markup in it is shown as it is, in the message and in the details alike.
    const QString name = QStringLiteral("<a href=\"file:///etc/passwd\"><b>отчёт</b></a>.mp3");
    const Alert named{QStringLiteral("Не удалось прочитать «%1»").arg(name),
                      QStringLiteral("Файл: %1").arg(name),
                      {QStringLiteral("Понятно")}};
    const auto plain = [&](QMessageBox& box) {
        int shown = 0;
        for (const QLabel* label : box.findChildren<QLabel*>()) {
            if (!label->text().contains(name))
                continue;
            ++shown;
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        }
        EXPECT_EQ(shown, 2);
        QTest::keyClick(&box, Qt::Key_Return);
    };
    EXPECT_EQ(presentAndAct(named, plain), 0);
}

// A text taller than the screen scrolls inside the box: the box stays on the screen and its button in reach.
TEST(MessageBoxAlertPresenterTest, ATextTallerThanTheScreenScrollsAndTheButtonStaysOnIt)
{
    if (qEnvironmentVariable("TOLVAN_TEST_DESKTOP") != QLatin1String("1"))
        GTEST_SKIP() << "needs the desktop session of tests/desktop/with-desktop.sh";
    QStringList lines;
    for (int line = 1; line <= 150; ++line)
        lines << QStringLiteral("Строка %1 длинной справки о голосовых командах.").arg(line);
    const Alert alert{
        QStringLiteral("Голосовые команды форматирования"), lines.join(u'\n'), {QStringLiteral("Понятно")}};
    const auto check = [](QMessageBox& box) {
        const QRect screen = box.screen()->availableGeometry();
        EXPECT_LE(box.frameGeometry().height(), screen.height());
        EXPECT_TRUE(screen.contains(box.buttons().constFirst()->geometry().translated(box.geometry().topLeft())));
        QTest::keyClick(&box, Qt::Key_Return);
    };
    EXPECT_EQ(presentAndAct(alert, check), 0);
}
