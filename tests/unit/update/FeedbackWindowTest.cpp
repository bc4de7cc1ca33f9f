#include "update/FeedbackWindow.h"

#include "core/Log.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/TestFiles.h"
#include "support/WindowShots.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

namespace
{

const QString tenCharacters = QStringLiteral("Не вставл."); // 10 characters

class FeedbackWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        qputenv("TOLVAN_FEEDBACK_ENDPOINT", server.url(QStringLiteral("/api/feedback")).toEncoded());
        qputenv("TOLVAN_PRIVACY_PAGE", "https://tolvan.example/privacy");
        qputenv("TOLVAN_SUPPORT_MAILBOX", "help@tolvan.example");
        feedback.openUrl = [this](const QUrl& url) {
            opened << url;
            return true;
        };
        feedback.showWindow();
    }

    template <typename T = QWidget> T* part(const char* name) const
    {
        T* widget = feedback.window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void fill(const QString& message, const QString& email = {}, bool consent = true)
    {
        part<QPlainTextEdit>("textView")->setPlainText(message);
        part<QLineEdit>("emailField")->setText(email);
        part<QCheckBox>("consentCheck")->setChecked(consent);
    }
    // Presses "Отправить" and waits until the answer has been handled.
    void send()
    {
        const size_t before = alerts.alerts.size();
        part<QPushButton>("sendBtn")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.alerts.size() > before; }, 25000));
        EXPECT_EQ(part<QPushButton>("sendBtn")->text(), QStringLiteral("Отправить"));
        EXPECT_TRUE(part<QPushButton>("sendBtn")->isEnabled());
    }
    QJsonObject lastBody() const { return QJsonDocument::fromJson(server.requests().last().body).object(); }
    static QString appLog()
    {
        return QString::fromUtf8(TestFiles::read(Log::directory() + QStringLiteral("/app.log")));
    }

    HttpResponse answer = HttpResponse::json(R"({"ok":true})");
    LocalHttpServer server{[this](const HttpRequest&) { return answer; }};
    ScriptedAlertPresenter alerts;
    FeedbackWindow feedback;
    QList<QUrl> opened;
};

} // namespace

TEST_F(FeedbackWindowTest, ShortMessagesAndMissingConsentAreRefusedWithoutSending)
{
    fill(QStringLiteral("  Не вставл  \n"));
    part<QPushButton>("sendBtn")->click();
    fill(tenCharacters, {}, false);
    part<QPushButton>("sendBtn")->click();
    ASSERT_EQ(alerts.messages(),
              (QStringList{QStringLiteral("Опишите чуть подробнее"), QStringLiteral("Нужно согласие")}));
    EXPECT_EQ(alerts.alerts[0].informativeText,
              QStringLiteral("Хотя бы пара предложений — от 10 символов. Чем больше деталей, тем быстрее разберёмся."));
    EXPECT_EQ(alerts.alerts[1].informativeText,
              QStringLiteral("Отметьте согласие с политикой обработки персональных данных "
                             "(https://tolvan.example/privacy) — без него отправка невозможна."));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(), tenCharacters) << "the form stays as it was";

    QTest::mouseClick(part("consentLabel"), Qt::LeftButton);
    EXPECT_TRUE(part<QCheckBox>("consentCheck")->isChecked()) << "the consent text ticks its box";
}

TEST_F(FeedbackWindowTest, ASentMessageIsPostedAsJsonThankedForAndCleared)
{
    for (const auto& [kind, value, email, meta, thanks] :
         {std::tuple{"kind_question", "question", "  ivan@example.com", true, "Ответим на указанную почту."},
          {"kind_bug", "bug", "ivan", false, "Читаем всё."}}) {
        feedback.showWindow();
        part<QPushButton>(kind)->click();
        fill(QStringLiteral("  Как сменить горячую клавишу?\n"), QString::fromUtf8(email));
        part<QCheckBox>("metaCheck")->setChecked(meta);
        send();
        const HttpRequest& request = server.requests().last();
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, "/api/feedback");
        EXPECT_EQ(request.header("content-type"), "application/json");
        const QJsonObject body = lastBody();
        EXPECT_EQ(body.value("kind"), QLatin1String(value));
        EXPECT_EQ(body.value("message"), QStringLiteral("Как сменить горячую клавишу?"));
        EXPECT_EQ(body.value("email"), QString::fromUtf8(email).trimmed());
        EXPECT_EQ(body.value("consent"), true);
        EXPECT_EQ(body.value("website"), QString());
        EXPECT_EQ(body.value("meta").toObject().value("app").toString(),
                  meta ? QStringLiteral("tolvan-linux") : QString());
        EXPECT_EQ(alerts.alerts.back().message, QStringLiteral("Спасибо!"));
        EXPECT_EQ(alerts.alerts.back().informativeText,
                  QStringLiteral("Сообщение улетело. ") + QString::fromUtf8(thanks));
        EXPECT_FALSE(feedback.window()->isVisible());
        EXPECT_TRUE(part<QPlainTextEdit>("textView")->toPlainText().isEmpty());
    }
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(FeedbackWindowTest, EveryFailureIsLoggedAndOffersTheSameTextByMail)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 nobodyListens = closed.serverPort();
    closed.close();
    for (const auto& [status, body, endpoint, logged] :
         {std::tuple{200, R"({"ok":false})", "", "код 200, -"},
          {0, "", "nobody", "код 0, Connection refused"},
          {0, "", "placeholder", "код 0, адрес сервера обратной связи не настроен"}}) {
        answer = HttpResponse::text(status, body);
        if (QLatin1String(endpoint) == QLatin1String("nobody"))
            qputenv("TOLVAN_FEEDBACK_ENDPOINT",
                    QStringLiteral("http://127.0.0.1:%1/api/feedback").arg(nobodyListens).toUtf8());
        if (QLatin1String(endpoint) == QLatin1String("placeholder"))
            qunsetenv("TOLVAN_FEEDBACK_ENDPOINT");
        const qsizetype requestsBefore = server.requests().size();
        fill(QStringLiteral("Вставка не работает в терминале & в IDE"));
        alerts.answers = {QStringLiteral("Написать письмо")};
        send();
        EXPECT_TRUE(appLog().contains(QStringLiteral("Обратная связь не отправилась: ") + QString::fromUtf8(logged)))
            << logged << "\n"
            << appLog().toStdString();
        EXPECT_EQ(alerts.alerts.back().message, QStringLiteral("Не удалось отправить"));
        EXPECT_EQ(alerts.alerts.back().informativeText,
                  QStringLiteral("Сервер недоступен. Отправить письмом на help@tolvan.example?"));
        EXPECT_EQ(alerts.alerts.back().buttons,
                  (QStringList{QStringLiteral("Написать письмо"), QStringLiteral("Отмена")}));
        EXPECT_EQ(server.requests().size() - requestsBefore, status ? 1 : 0) << logged;
        EXPECT_TRUE(feedback.window()->isVisible());
        EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(),
                  QStringLiteral("Вставка не работает в терминале & в IDE"));
        ASSERT_FALSE(opened.isEmpty());
        EXPECT_EQ(opened.last().toString(QUrl::RemoveQuery), QStringLiteral("mailto:help@tolvan.example"));
    }
    alerts.answers = {QStringLiteral("Отмена")};
    const qsizetype mails = opened.size();
    send();
    EXPECT_EQ(opened.size(), mails);
}

TEST_F(FeedbackWindowTest, TheFormFitsItsTexts)
{
    EXPECT_EQ(feedback.window()->windowTitle(), QStringLiteral("Обратная связь — Толван"));
    EXPECT_TRUE(part<QPushButton>("kind_bug")->isChecked());
    EXPECT_TRUE(part<QCheckBox>("metaCheck")->isChecked());
    EXPECT_FALSE(part<QCheckBox>("consentCheck")->isChecked());
    fill(QStringLiteral("После обновления не вставляется текст в Telegram."), QStringLiteral("ivan@example.com"),
         false);
    WindowShots::expectTextsFit(feedback.window());
    WindowShots::save(feedback.window(), QStringLiteral("feedback"));
}
