#include "text/MacroStore.h"

#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace
{

void writeMacros(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(MacroStore::filePath()).absolutePath());
    QFile file(MacroStore::filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString disabledMessage = QStringLiteral("macros.json не читается (ошибка JSON?) — макросы отключены");

qsizetype logCount(const QString& message)
{
    return QString::fromUtf8(fileBytes(Log::directory() + QStringLiteral("/app.log"))).count(message);
}

QDateTime moscow(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), QTimeZone("Europe/Moscow"));
}

} // namespace

TEST(MacroStoreFile, TheFirstLoadWritesTheTwoExampleMacros)
{
    EXPECT_FALSE(QFile::exists(MacroStore::filePath()));
    const auto macros = MacroStore::loadNormalized();
    EXPECT_EQ(fileBytes(MacroStore::filePath()),
              QStringLiteral("{\n  \"подпись\": \"—\\nС уважением,\\n<ваше имя>\\n<телефон или почта>\",\n"
                             "  \"дата\": \"{дата}\"\n}")
                  .toUtf8());
    EXPECT_EQ(macros.value(QStringLiteral("подпись")),
              QStringLiteral("—\nС уважением,\n<ваше имя>\n<телефон или почта>"));
    EXPECT_EQ(macros.value(QStringLiteral("дата")), QStringLiteral("{дата}"));
    EXPECT_EQ(macros.size(), 2);
}

TEST(MacroStoreFile, SaveTrimsTriggersDropsBlankOnesKeepsTheLaterDuplicateAndAnEmptyListStaysEmpty)
{
    MacroStore::saveRaw({});
    EXPECT_EQ(fileBytes(MacroStore::filePath()), QByteArray("{}"));
    EXPECT_TRUE(MacroStore::loadRaw().empty());
    EXPECT_TRUE(MacroStore::loadNormalized().isEmpty());
    EXPECT_EQ(logCount(disabledMessage), 0);

    MacroStore::saveRaw({{QStringLiteral("  привет "), QStringLiteral("A")},
                         {QStringLiteral("  \n"), QStringLiteral("пусто")},
                         {QStringLiteral("привет"), QStringLiteral("B")},
                         {QStringLiteral("адрес"), QStringLiteral(" строка 1\nстрока 2 ")}});
    EXPECT_EQ(fileBytes(MacroStore::filePath()),
              QStringLiteral("{\n  \"адрес\": \" строка 1\\nстрока 2 \",\n  \"привет\": \"B\"\n}").toUtf8());
}

TEST(MacroStoreFile, EditorOrderIsAlphabeticalIgnoringCaseAndTriggersAreNormalized)
{
    writeMacros(R"({"яблоко": "3", "Банан": "2", "арбуз": "1", "Ёж": "2а"})");
    QStringList triggers;
    for (const MacroPair& macro : MacroStore::loadRaw())
        triggers.append(macro.trigger);
    EXPECT_EQ(triggers, (QStringList{QStringLiteral("арбуз"), QStringLiteral("Банан"), QStringLiteral("Ёж"),
                                     QStringLiteral("яблоко")}));

    writeMacros(R"({"Моя Подпись!": "Иван", "...": "ничего", "Ёлка": "🎄"})");
    const auto macros = MacroStore::loadNormalized();
    EXPECT_EQ(macros.value(QStringLiteral("моя подпись")), QStringLiteral("Иван"));
    EXPECT_EQ(macros.value(QStringLiteral("елка")), QStringLiteral("🎄"));
    EXPECT_EQ(macros.size(), 2);
}

TEST(MacroStoreFile, AnUnreadableFileDisablesMacrosAndIsKeptOnTheNextSave)
{
    const QByteArray broken = R"({"подпись": "Иван", "число": 5})";
    writeMacros(broken);
    EXPECT_TRUE(MacroStore::loadNormalized().isEmpty());
    EXPECT_TRUE(MacroStore::loadNormalized().isEmpty());
    EXPECT_EQ(logCount(disabledMessage), 2);
    EXPECT_TRUE(MacroStore::loadRaw().empty());
    EXPECT_EQ(fileBytes(MacroStore::filePath()), broken);

    MacroStore::saveRaw({{QStringLiteral("подпись"), QStringLiteral("Пётр")}});
    EXPECT_EQ(fileBytes(MacroStore::filePath() + QStringLiteral(".bak")), broken);
    EXPECT_EQ(MacroStore::loadRaw(), (std::vector<MacroPair>{{QStringLiteral("подпись"), QStringLiteral("Пётр")}}));
}

TEST(MacroPlaceholders, DatesAndTimesInRussian)
{
    const QString text = QStringLiteral("{дата} / {дата_кратко} / {время} / {дата} / {Дата} / {час}");
    EXPECT_EQ(MacroStore::substitutePlaceholders(text, moscow(5, 9, 7)),
              QStringLiteral("5 декабря 2026 г. / 05.12.26 / 09:07 / 5 декабря 2026 г. / {Дата} / {час}"));
    EXPECT_EQ(MacroStore::substitutePlaceholders(QStringLiteral("{время}"), moscow(5, 21, 30)),
              QStringLiteral("21:30"));
    // The moment is shown in its own time zone: 23:30 UTC is already the next day in Moscow.
    const QDateTime lateUtc(QDate(2026, 3, 1), QTime(23, 30), QTimeZone::utc());
    EXPECT_EQ(
        MacroStore::substitutePlaceholders(QStringLiteral("{дата}"), lateUtc.toTimeZone(QTimeZone("Europe/Moscow"))),
        QStringLiteral("2 марта 2026 г."));
    EXPECT_EQ(MacroStore::substitutePlaceholders(QStringLiteral("без подстановок")), QStringLiteral("без подстановок"));
    const QString before = QDate::currentDate().toString(QStringLiteral("dd.MM.yy"));
    const QString now = MacroStore::substitutePlaceholders(QStringLiteral("{дата_кратко}"));
    const QString after = QDate::currentDate().toString(QStringLiteral("dd.MM.yy"));
    EXPECT_TRUE(now == before || now == after) << now.toStdString();
}
