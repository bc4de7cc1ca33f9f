#include "ui/FeedbackWindow.h"

#include "BuildInfo.h"
#include "core/Log.h"
#include "core/SettingsStore.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/TestFiles.h"
#include "support/WindowShots.h"
#include "update/Feedback.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <tuple>

namespace
{

// The title, the explanation and the buttons of an alert.
QStringList shown(const Alert& alert)
{
    return QStringList{alert.message, alert.informativeText} + alert.buttons;
}

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

    HttpResponse answer = HttpResponse::json(R"({"ok":true})");
    LocalHttpServer server{[this](const HttpRequest&) { return answer; }};
    ScriptedAlertPresenter alerts;
    FeedbackWindow feedback;
    QList<QUrl> opened;
};

} // namespace

TEST_F(FeedbackWindowTest, ASentMessageIsPostedThankedForAndClearedOrOfferedByMailWhenItFails)
{
    SettingsStore::shared().setString(SettingsKey::modelID, QStringLiteral("gigaam-v3"));
    const QJsonObject meta{{"app", "tolvan-linux"},
                           {"build", QString::fromUtf8(BuildInfo::buildNumber)},
                           {"extra", QStringLiteral("модель: gigaam-v3")},
                           {"os", Feedback::systemDescription()},
                           {"version", QString::fromUtf8(BuildInfo::shortVersion)}};
    for (const auto& [kind, value, email, withMeta, thanks] :
         {std::tuple{"kind_question", "question", "  ivan@example.com", true, "Ответим на указанную почту."},
          {"kind_bug", "bug", "ivan", false, "Читаем всё."}}) {
        feedback.showWindow();
        part<QPushButton>(kind)->click();
        fill(QStringLiteral("  Как сменить \"горячую\" клавишу?\n"), QString::fromUtf8(email));
        part<QCheckBox>("metaCheck")->setChecked(withMeta);
        send();
        const HttpRequest& request = server.requests().last();
        EXPECT_EQ(request.method + ' ' + request.path + ' ' + request.header("content-type"),
                  "POST /api/feedback application/json");
        QJsonObject body = QJsonDocument::fromJson(request.body).object();
        EXPECT_EQ(body.take("meta").toObject(), withMeta ? meta : QJsonObject());
        EXPECT_EQ(body, (QJsonObject{{"kind", QLatin1String(value)},
                                     {"message", QStringLiteral("Как сменить \"горячую\" клавишу?")},
                                     {"email", QString::fromUtf8(email).trimmed()},
                                     {"consent", true},
                                     {"website", ""}}));
        EXPECT_EQ(
            shown(alerts.alerts.back()),
            (QStringList{"Спасибо!", QStringLiteral("Сообщение улетело. ") + QString::fromUtf8(thanks), "Понятно"}));
        EXPECT_FALSE(feedback.window()->isVisible());
        EXPECT_TRUE(part<QPlainTextEdit>("textView")->toPlainText().isEmpty());
    }
    EXPECT_TRUE(opened.isEmpty());

    // Only HTTP 200 with {"ok": true} counts as delivered; every failure is logged and offers the text by mail.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QByteArray nobodyListens = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()).toUtf8();
    closed.close();
    const QByteArray served = qgetenv("TOLVAN_FEEDBACK_ENDPOINT");
    const QString message = QStringLiteral("Не работает «вставка» в IDE & хоткей = F6?\nСтрока 2 #3 +1 100%");
    // An empty address is the built-in placeholder.
    for (const auto& [status, body, endpoint, logged] :
         {std::tuple{200, R"({"ok":false})", served, "код 200, -"},
          {500, R"({"ok":true})", served, "код 500, -"},
          {0, "", nobodyListens, "код 0, Connection refused"},
          {0, "", QByteArray(), "код 0, адрес сервера обратной связи не настроен"}}) {
        answer = HttpResponse::text(status, body);
        qputenv("TOLVAN_FEEDBACK_ENDPOINT", endpoint);
        fill(message);
        alerts.answers = {QStringLiteral("Написать письмо")};
        send();
        const QString log = QString::fromUtf8(TestFiles::read(Log::directory() + QStringLiteral("/app.log")));
        EXPECT_TRUE(log.contains(QStringLiteral("Обратная связь не отправилась: ") + QString::fromUtf8(logged)))
            << log.toStdString();
        EXPECT_EQ(shown(alerts.alerts.back()),
                  (QStringList{"Не удалось отправить", "Сервер недоступен. Отправить письмом на help@tolvan.example?",
                               "Написать письмо", "Отмена"}));
        EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(), message) << "the form stays";
        ASSERT_FALSE(opened.isEmpty());
        EXPECT_EQ(opened.last().toString(QUrl::RemoveQuery), QStringLiteral("mailto:help@tolvan.example"));
        EXPECT_EQ(QUrlQuery(opened.last()).queryItems(QUrl::FullyDecoded),
                  (QList<std::pair<QString, QString>>{{"subject", "Толван: обратная связь"}, {"body", message}}));
    }
}

// Looked at (and pictured) at 1x and, as a second ctest entry, at 2x.
TEST_F(FeedbackWindowTest, TheFormFitsItsTextsAndRefusesShortMessagesOrMissingConsentWithoutSending)
{
    EXPECT_TRUE(part<QPushButton>("kind_bug")->isChecked());
    EXPECT_TRUE(part<QCheckBox>("metaCheck")->isChecked());
    EXPECT_FALSE(part<QCheckBox>("consentCheck")->isChecked());
    fill(QStringLiteral("После обновления не вставляется текст в Telegram."), QStringLiteral("ivan@example.com"),
         false);
    WindowShots::expectTextsFit(feedback.window());
    WindowShots::save(feedback.window(), QStringLiteral("feedback"));

    fill(QStringLiteral("  Не вставл  \n"));
    part<QPushButton>("sendBtn")->click();
    fill(QStringLiteral("Не вставл."), {}, false); // 10 characters
    part<QPushButton>("sendBtn")->click();
    EXPECT_EQ(alerts.messages(), (QStringList{"Опишите чуть подробнее", "Нужно согласие"}));
    EXPECT_TRUE(alerts.alerts.back().informativeText.contains(QStringLiteral("(https://tolvan.example/privacy)")));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(part<QPlainTextEdit>("textView")->toPlainText(), QStringLiteral("Не вставл.")) << "the form stays";

    QTest::mouseClick(part("consentLabel"), Qt::LeftButton);
    EXPECT_TRUE(part<QCheckBox>("consentCheck")->isChecked()) << "the consent text ticks its box";
}
