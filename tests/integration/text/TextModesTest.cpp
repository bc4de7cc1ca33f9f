#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(FormatMode, CleansCorrectsAndFormatsTheTextOrStandardInputInTheStoredFormatUnlessTheFirstParameterNamesOne)
{
    TestFiles::write(Paths::dataDir() + "/corrections.json", R"({"линукс": "Linux"})");
    SettingsStore(Paths::settingsFile()).setString(SettingsKey::outputFormat, QStringLiteral("plain"));
    const QString text = QStringLiteral("Заголовок: Итоги. Список. Чай.");
    const std::tuple<QStringList, QByteArray, QString> cases[] = {
        {{"markdown", "[музыка] ставлю линук\nса. Список. Один. Два. Конец списка. Подпись."},
         {},
         "Ставлю Linuxа.\n\n- Один.\n- Два.\n\n—\nС уважением,\n<ваше имя>\n<телефон или почта>\n"},
        {{text}, {}, "Итоги\n\n— Чай.\n"},
        {{"markdown", text, "Второй. Новый абзац. Текст."}, {}, "## Итоги\n\n- Чай.\n"},
        // "Plain" is not a format name: it is the text.
        {{"Plain"}, {}, "Plain\n"},
        // Line feeds between sentences stay; in plain text each line of dialogue gets its dash.
        {{"plain", "Первая строка.\nВторая строка.\n\n- Кто там?\r\n- Это я, открой."},
         {},
         "Первая строка.\nВторая строка.\n\n— Кто там?\n— Это я, открой.\n"},
        {{}, "Список. Молоко. Хлеб.", "— Молоко.\n— Хлеб.\n"},
        {{"markdown"}, "Заголовок: итоги.\n", "## Итоги\n"},
        // Input that is not UTF-8 counts as nothing.
        {{}, "\xff\xfe\xd0", "\n"}};
    for (const auto& [parameters, standardInput, expected] : cases) {
        const auto result = runTolvan(QStringList{"--format"} + parameters, standardInput);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out(), expected) << parameters.join(u' ').toStdString() << standardInput.toStdString();
    }
}

// The defaults, then each typography switch flipped once; "⍽" stands for a no-break space.
TEST(FormatMode, TypesetsWithTheSettingsSwitchesAndTheTypographyTestShowsWhatFired)
{
    const QString phrase = QStringLiteral("Он сказал \"да\" - и отдал двадцать пять рублей.");
    const std::tuple<QLatin1String, bool, QStringList, QString> cases[] = {
        {SettingsKey::typographyQuotes, true, {phrase}, "Он сказал «да»⍽— и отдал 25 рублей."},
        {SettingsKey::typographyQuotes, false, {phrase}, "Он сказал \"да\"⍽— и отдал 25 рублей."},
        {SettingsKey::typographyDashes, false, {phrase}, "Он сказал «да» - и отдал 25 рублей."},
        {SettingsKey::typographyNumbers, false, {phrase}, "Он сказал «да»⍽— и отдал двадцать пять рублей."},
        {SettingsKey::typographyNoBreakSpaces, true, {phrase}, "Он сказал «да»⍽— и⍽отдал 25⍽рублей."},
        // In plain text a line that starts with a hyphen is dialogue, in Markdown a list item.
        {SettingsKey::typographyQuotes, true, {"plain", "- Привет - сказал он."}, "— Привет⍽— сказал он."},
        {SettingsKey::typographyQuotes, true, {"markdown", "- Привет - сказал он."}, "- Привет⍽— сказал он."}};
    for (const auto& [key, on, parameters, expected] : cases) {
        QFile::remove(Paths::settingsFile());
        SettingsStore(Paths::settingsFile()).setBool(key, on);
        EXPECT_EQ(runTolvan(QStringList{"--format"} + parameters).out(),
                  QString(expected).replace(u'⍽', u'\u00A0') + u'\n')
            << key.data() << on;
    }

    const auto typeset = runTolvan({"--typography-test", "Встреча \"Итоги\" - двадцать пятого декабря."});
    EXPECT_EQ(typeset.exitCode, 0);
    EXPECT_EQ(typeset.outLines(),
              (QStringList{"Встреча «Итоги»\u00A0— 25 декабря.", "Сработали правила: кавычки, тире, числа",
                           "Выключены в настройках: неразрывные пробелы, века римскими цифрами, знак минуса, "
                           "пробел после №, многоточие"}));
    for (const QLatin1String key : {SettingsKey::typographyRomanCenturies, SettingsKey::typographyMinusSign,
                                    SettingsKey::typographyNumberSign, SettingsKey::typographyEllipsis})
        SettingsStore(Paths::settingsFile()).setBool(key, true);
    EXPECT_EQ(runTolvan({"--typography-test", "В двадцать первом веке... Мороз -5 градусов, дом №5."}).outLines(),
              (QStringList{"В XXI веке… Мороз −5 градусов, дом № 5.",
                           "Сработали правила: века римскими цифрами, знак минуса, пробел после №, многоточие",
                           "Выключены в настройках: неразрывные пробелы"}));
    SettingsStore(Paths::settingsFile()).setBool(SettingsKey::typographyNoBreakSpaces, true);
    EXPECT_EQ(runTolvan({"--typography-test", "Три дня."}).outLines(),
              (QStringList{"Три дня.", "Ни одно правило не сработало"}));
}

// What recognizers write every day, one fault of each kind, as `tolvan --format plain` sets it.
TEST(FormatMode, TypesetsRecognizerOutputAsRussianEditorsDo)
{
    const std::pair<QString, QString> rows[] = {
        // Digits.
        {"Выросло на 2.5 %, до 12345.5 рублей, на 3.5 млн. рублей в 90-ых, в 2-х томах, версия 2.5.1.",
         "Выросло на 2,5 %, до 12 345,5 рублей, на 3,5 млн рублей в 90-х, в 2 томах, версия 2.5.1."},
        {"Работаем 10:00-18:00 на Boeing 737-800.", "Работаем 10:00–18:00 на Boeing 737-800."},
        // Quotes in code.
        {"Набери git commit -m \"fix typo\" и \"готово\".", "Набери git commit -m \"fix typo\" и «готово»."},
        // Numbers of one construction, an approximation.
        {"От пяти до двадцати пяти человек, ждали человек двадцать.", "От 5 до 25 человек, ждали человек двадцать."},
        // Signs for spoken numbers.
        {"Вагон номер три, со счётом два один.", "Вагон № 3, со счётом 2:1."},
        // Abbreviations, hyphens, spaces.
        {"И.И. Петров, т.е. кто то по русски , ( если успеет ) .",
         "И. И. Петров, т. е. кто-то по-русски, (если успеет)."},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(runTolvan({"--format", "plain", text}).out(), expected + u'\n') << text.toStdString();

    EXPECT_EQ(runTolvan({"--typography-test", "Кто то взял 2.5 кг. , т.е. много."}).outLines(),
              (QStringList{"Кто-то взял 2,5 кг, т. е. много.",
                           "Сработали правила: запись цифр, пробелы у знаков препинания, сокращения и инициалы, "
                           "дефисы в словах",
                           "Выключены в настройках: неразрывные пробелы, века римскими цифрами, знак минуса, "
                           "пробел после №, многоточие"}));
}

TEST(HallucinationTestMode, PrintsOneVerdictLinePerTextInOrder)
{
    const auto result = runTolvan(
        {"--halluc-test", "Спасибо за просмотр!", "Субтитры сделаны сообществом Amara.org", "Обычная фраза."});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines(), (QStringList{"keep DROP(тихо) — Спасибо за просмотр!",
                                              "DROP DROP(тихо) — Субтитры сделаны сообществом Amara.org",
                                              "keep keep(тихо) — Обычная фраза."}));
}

TEST(AutoFormatMode, MarksUpASegmentListAndReportsItOnStandardErrorOrFormatsTheJoinedText)
{
    TestFiles::write(Paths::dataDir() + "/corrections.json", R"({"линукс": "Linux"})");
    const std::tuple<QByteArray, QString, QString> cases[] = {
        {R"([{"text": "Итоги недели.", "start": 0, "end": 1200}, {"text": "[шум]", "start": 1300, "end": 1500},
             {"text": "Во-первых, поставить линукс.", "start": 2600, "end": 4000},
             {"text": "Во-вторых, обновить ядро.", "start": 4200, "end": 6000.9}])",
         "[авторазметка] Заголовок: Итоги недели. Нумерованный список. Поставить Linux. Обновить ядро. Конец "
         "списка.\n\n",
         "## Итоги недели\n\n1. Поставить Linux.\n2. Обновить ядро.\n"},
        {R"([{"text": "список."}, {"text": "Молоко."}, {"start": 5}, {"text": "Хлеб.", "start": 900, "end": 1000}])",
         "[авторазметка не применена]\n\n", "- Молоко.\n- Хлеб.\n"}};
    for (const auto& [segments, reported, expected] : cases) {
        const auto result = runTolvan(
            {"--auto-format", TestFiles::write(TestEnvironment::makeDirectory("input") + "/list.json", segments)});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err(), reported);
        EXPECT_EQ(result.out(), expected);
    }
}

TEST(AutoFormatMode, AnUnusableFileFailsWithItsAbsolutePath)
{
    for (const auto& [name, content] : {std::pair<QString, QByteArray>{"object.json", R"({"segments": []})"},
                                        {"mixed.json", R"([{"text": "a"}, 1])"},
                                        {"broken.json", "[{"},
                                        {"missing-file.json", {}}}) {
        const QString path =
            content.isNull() ? name : TestFiles::write(TestEnvironment::makeDirectory("input") + u'/' + name, content);
        const auto result = runTolvan({"--auto-format", path});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.outLines(),
                  QStringList{"не удалось прочитать " + (content.isNull() ? QDir::currentPath() + u'/' + name : path)});
    }
}
