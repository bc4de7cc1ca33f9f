#include "update/Feedback.h"

#include "BuildInfo.h"
#include "core/SettingsStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <tuple>

TEST(FeedbackBody, CarriesTheFormTrimmedAndTheMetaOnlyWhenAsked)
{
    SettingsStore::shared().setString(SettingsKey::modelID, QStringLiteral("gigaam-v3"));
    FeedbackMessage message{QStringLiteral("idea"), QStringLiteral("\n  Нужна тёмная тема \"ночью\"  \n"),
                            QStringLiteral("  ivan@example.com "), true, false};
    EXPECT_EQ(Feedback::body(message),
              QStringLiteral(R"({"consent":true,"email":"ivan@example.com","kind":"idea",)"
                             R"("message":"Нужна тёмная тема \"ночью\"","meta":{},"website":""})")
                  .toUtf8());

    message.attachMeta = true;
    const QJsonObject meta = QJsonDocument::fromJson(Feedback::body(message)).object().value("meta").toObject();
    EXPECT_EQ(meta.keys(), (QStringList{"app", "build", "extra", "os", "version"}));
    EXPECT_EQ(meta.value("app"), QStringLiteral("tolvan-linux"));
    EXPECT_EQ(meta.value("version"), QString::fromUtf8(BuildInfo::shortVersion));
    EXPECT_EQ(meta.value("build"), QString::fromUtf8(BuildInfo::buildNumber));
    EXPECT_EQ(meta.value("extra"), QStringLiteral("модель: gigaam-v3"));
    EXPECT_EQ(meta.value("os"), Feedback::systemDescription());
    EXPECT_TRUE(Feedback::systemDescription().contains(QStringLiteral(", Linux ")));
}

TEST(FeedbackAnswer, OnlyHttp200WithOkTrueIsASuccess)
{
    for (const auto& [status, body, error, success, line] :
         {std::tuple{200, R"({"ok":true})", "", true, "код 200, -"},
          {200, R"({"ok":false})", "", false, "код 200, -"},
          {200, R"({"ok":"true"})", "", false, "код 200, -"},
          {200, "<html>ok</html>", "", false, "код 200, -"},
          {500, R"({"ok":true})", "", false, "код 500, -"},
          {0, "", "Connection refused", false, "код 0, Connection refused"}}) {
        const Feedback::Answer answer{status, QByteArray(body), QString::fromUtf8(error)};
        EXPECT_EQ(Feedback::succeeded(answer), success) << body;
        EXPECT_EQ(Feedback::failureLogLine(answer),
                  QStringLiteral("Обратная связь не отправилась: ") + QString::fromUtf8(line));
    }
}

TEST(FeedbackMail, TheMessageSurvivesTheMailtoLinkWhole)
{
    qputenv("TOLVAN_SUPPORT_MAILBOX", "help@tolvan.example");
    const QString message = QStringLiteral("Не работает «вставка» & хоткей = F6?\nСтрока 2 #3 +1 100%");
    const QUrl url = Feedback::mailUrl(message);
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(url.path(), QStringLiteral("help@tolvan.example"));
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), QStringLiteral("Толван: обратная связь"));
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded), message);
    EXPECT_EQ(query.queryItems().size(), 2);
}
