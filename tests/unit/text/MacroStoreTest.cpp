#include "text/MacroStore.h"

#include "core/Log.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

TEST(MacroStoreFile, TheFirstLoadWritesTheExamplesAndSaveTrimsTriggersDropsBlankOnesAndKeepsTheLaterDuplicate)
{
    EXPECT_FALSE(QFile::exists(MacroStore::filePath()));
    EXPECT_EQ(MacroStore::loadNormalized().size(), 2);
    EXPECT_TRUE(QFile::exists(MacroStore::filePath()));

    MacroStore::saveRaw({});
    EXPECT_EQ(TestFiles::read(MacroStore::filePath()), QByteArray("{}"));
    EXPECT_TRUE(MacroStore::loadNormalized().isEmpty());

    MacroStore::saveRaw({{"  привет ", "A"}, {"  \n", "пусто"}, {"привет", "B"}, {"адрес", " строка 1\nстрока 2 "}});
    EXPECT_EQ(TestFiles::read(MacroStore::filePath()),
              QStringLiteral("{\n  \"адрес\": \" строка 1\\nстрока 2 \",\n  \"привет\": \"B\"\n}").toUtf8());
}

TEST(MacroStoreFile, EditorOrderIsAlphabeticalIgnoringCaseAndTriggersAreNormalized)
{
    TestFiles::write(MacroStore::filePath(), R"({"яблоко": "3", "Банан": "2", "арбуз": "1", "Ёж": "2а"})");
    EXPECT_EQ(MacroStore::loadRaw(),
              (std::vector<MacroPair>{{"арбуз", "1"}, {"Банан", "2"}, {"Ёж", "2а"}, {"яблоко", "3"}}));
    // A trigger without letters or digits never fires; of two with one key the first in code point order wins.
    TestFiles::write(MacroStore::filePath(),
                     R"({"Моя Подпись!": "Иван", "моя подпись": "Пётр", "...": "ничего", "Ёлка": "🎄"})");
    EXPECT_EQ(MacroStore::loadNormalized(), (QHash<QString, QString>{{"моя подпись", "Иван"}, {"елка", "🎄"}}));
}

TEST(MacroStoreFile, AnUnreadableFileDisablesMacrosAndIsKeptOnTheNextSave)
{
    const QByteArray broken = R"({"подпись": "Иван", "число": 5})";
    TestFiles::write(MacroStore::filePath(), broken);
    EXPECT_TRUE(MacroStore::loadNormalized().isEmpty());
    EXPECT_TRUE(MacroStore::loadRaw().empty());
    EXPECT_TRUE(QString::fromUtf8(TestFiles::read(Log::directory() + "/app.log"))
                    .contains("macros.json не читается (ошибка JSON?) — макросы отключены"));
    EXPECT_EQ(TestFiles::read(MacroStore::filePath()), broken);

    MacroStore::saveRaw({{"подпись", "Пётр"}});
    EXPECT_EQ(TestFiles::read(MacroStore::filePath() + ".bak"), broken);
    EXPECT_EQ(MacroStore::loadRaw(), (std::vector<MacroPair>{{"подпись", "Пётр"}}));
}

TEST(MacroPlaceholders, DatesAndTimesInRussianInTheMomentsOwnTimeZone)
{
    const QTimeZone moscow("Europe/Moscow");
    EXPECT_EQ(MacroStore::substitutePlaceholders("{дата} / {дата_кратко} / {время} / {дата} / {Дата} / {час}",
                                                 QDateTime(QDate(2026, 12, 5), QTime(9, 7), moscow)),
              "5 декабря 2026 г. / 05.12.26 / 09:07 / 5 декабря 2026 г. / {Дата} / {час}");
    // 23:30 UTC is already the next day in Moscow.
    const QDateTime lateUtc(QDate(2026, 3, 1), QTime(23, 30), QTimeZone::utc());
    EXPECT_EQ(MacroStore::substitutePlaceholders("{дата}", lateUtc.toTimeZone(moscow)), "2 марта 2026 г.");
}
