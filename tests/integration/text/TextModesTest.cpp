#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace
{

QString inputFile(const QString& name, const QByteArray& content)
{
    return TestFiles::write(TestEnvironment::makeDirectory(QStringLiteral("input")) + u'/' + name, content);
}

void writeDataFile(const QString& name, const QByteArray& content)
{
    TestFiles::write(Paths::dataDir() + u'/' + name, content);
}

ProcessOutput format(const QStringList& parameters, const QByteArray& standardInput = {})
{
    return runTolvan(QStringList{QStringLiteral("--format")} + parameters, standardInput);
}

const QString signature = QStringLiteral("—\nС уважением,\n<ваше имя>\n<телефон или почта>");

} // namespace

TEST(FormatMode, RunsCleanUpCorrectionsCommandsAndTheMacrosUnlessTheirFileIsUnreadable)
{
    writeDataFile(QStringLiteral("corrections.json"), R"({"линукс": "Linux"})");
    const auto result = format({QStringLiteral("[музыка] ставлю линук\nса. Список. Один. Два. Конец списка. "
                                               "Подпись.")});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out(), QStringLiteral("Ставлю Linuxа.\n\n- Один.\n- Два.\n\n") + signature + u'\n');
    EXPECT_TRUE(QFile::exists(Paths::dataDir() + QStringLiteral("/macros.json")));

    // An unreadable macro file is reported and ignored.
    writeDataFile(QStringLiteral("macros.json"), "{\"подпись\": ");
    const auto broken = format({QStringLiteral("Подпись.")});
    EXPECT_EQ(broken.exitCode, 0);
    EXPECT_EQ(broken.out(), QStringLiteral("Подпись.\n"));
    EXPECT_TRUE(broken.err().contains(QStringLiteral("macros.json не читается (ошибка JSON?) — макросы отключены")));
}

TEST(FormatMode, ReadsStandardInputWhenNoTextIsGiven)
{
    const auto plain = format({QStringLiteral("plain")}, QStringLiteral("Список. Молоко. Хлеб.").toUtf8());
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.out(), QStringLiteral("— Молоко.\n— Хлеб.\n"));
    const auto stored = format({}, QStringLiteral("Заголовок: итоги.\n").toUtf8());
    EXPECT_EQ(stored.out(), QStringLiteral("## Итоги\n"));
    // Input that is not UTF-8 counts as nothing.
    const auto undecodable = format({}, QByteArray("\xff\xfe\xd0"));
    EXPECT_EQ(undecodable.exitCode, 0);
    EXPECT_EQ(undecodable.out(), QStringLiteral("\n"));
}

TEST(FormatMode, TheStoredFormatAppliesUnlessTheFirstParameterNamesOne)
{
    SettingsStore(Paths::settingsFile()).setString(SettingsKey::outputFormat, QStringLiteral("plain"));
    const QString text = QStringLiteral("Заголовок: Итоги. Список. Чай.");
    EXPECT_EQ(format({text}).out(), QStringLiteral("Итоги\n\n— Чай.\n"));
    EXPECT_EQ(format({QStringLiteral("markdown"), text, QStringLiteral("Второй. Новый абзац. Текст.")}).out(),
              QStringLiteral("## Итоги\n\n- Чай.\n"));
    // "Plain" is not a format name: it is the text.
    EXPECT_EQ(format({QStringLiteral("Plain")}).out(), QStringLiteral("Plain\n"));
}

TEST(HallucTestMode, PrintsOneVerdictLinePerTextInOrder)
{
    const auto result =
        runTolvan({QStringLiteral("--halluc-test"), QStringLiteral("Спасибо за просмотр!"),
                   QStringLiteral("Субтитры сделаны сообществом Amara.org"), QStringLiteral("Обычная фраза.")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines(),
              (QStringList{QStringLiteral("keep DROP(тихо) — Спасибо за просмотр!"),
                           QStringLiteral("DROP DROP(тихо) — Субтитры сделаны сообществом Amara.org"),
                           QStringLiteral("keep keep(тихо) — Обычная фраза.")}));
}

TEST(AutoFormatMode, MarksUpASegmentListAndReportsItOnStandardError)
{
    writeDataFile(QStringLiteral("corrections.json"), R"({"линукс": "Linux"})");
    const QString path = inputFile(QStringLiteral("segments.json"), QStringLiteral(R"([
        {"text": "Итоги недели.", "start": 0, "end": 1200},
        {"text": "[шум]", "start": 1300, "end": 1500},
        {"text": "Во-первых, поставить линукс.", "start": 2600, "end": 4000},
        {"text": "Во-вторых, обновить ядро.", "start": 4200, "end": 6000.9}
    ])")
                                                                        .toUtf8());
    const auto result = runTolvan({QStringLiteral("--auto-format"), path});
    EXPECT_EQ(result.exitCode, 0);
    const QString annotated = QStringLiteral("Заголовок: Итоги недели. Нумерованный список. Поставить Linux. "
                                             "Обновить ядро. Конец списка.");
    EXPECT_EQ(result.err(), QStringLiteral("[авторазметка] ") + annotated + QStringLiteral("\n\n"));
    EXPECT_EQ(result.out(), QStringLiteral("## Итоги недели\n\n1. Поставить Linux.\n2. Обновить ядро.\n"));
}

TEST(AutoFormatMode, WithoutStructureTheJoinedTextIsFormatted)
{
    const QString path = inputFile(QStringLiteral("short.json"), QStringLiteral(R"([
        {"text": "список."}, {"text": "Молоко."}, {"start": 5}, {"text": "Хлеб.", "start": 900, "end": 1000}
    ])")
                                                                     .toUtf8());
    const auto result = runTolvan({QStringLiteral("--auto-format"), path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err(), QStringLiteral("[авторазметка не применена]\n\n"));
    EXPECT_EQ(result.out(), QStringLiteral("- Молоко.\n- Хлеб.\n"));
}

TEST(AutoFormatMode, AnUnusableFileFailsWithItsAbsolutePath)
{
    const QString object = inputFile(QStringLiteral("object.json"), R"({"segments": []})");
    const QString mixed = inputFile(QStringLiteral("mixed.json"), R"([{"text": "a"}, 1])");
    const QString broken = inputFile(QStringLiteral("broken.json"), "[{");
    const QString missing = QStringLiteral("missing-file.json");
    const std::pair<QString, QString> cases[] = {
        {object, object}, {mixed, mixed}, {broken, broken}, {missing, QDir::currentPath() + u'/' + missing}};
    for (const auto& [argument, absolutePath] : cases) {
        const auto result = runTolvan({QStringLiteral("--auto-format"), argument});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.outLines(), QStringList{QStringLiteral("не удалось прочитать ") + absolutePath});
    }
}
