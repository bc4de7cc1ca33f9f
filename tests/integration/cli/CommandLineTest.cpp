#include "cli/CommandLine.h"

#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>

#include <gtest/gtest.h>

#include <tuple>

// Relative paths are read from the working directory, extra arguments are ignored.
TEST(ParseTest, PrintsTheSegmentsOfAServerAnswerOrOneLineForAnUnusableFile)
{
    const QString input = TestEnvironment::makeDirectory(QStringLiteral("input"));
    TestFiles::write(input + QStringLiteral("/answer.json"),
                     R"({"segments":[{"text":" Раз","start":0.5,"end":1},{"text":"два","start":1,"end":1.5}]})");
    TestFiles::write(input + QStringLiteral("/array.json"), R"([{"text": " да", "start": 0, "end": 1}])");
    TestFiles::write(input + QStringLiteral("/broken.json"), R"({"segments": [)");
    TestFiles::write(input + QStringLiteral("/empty.json"), "");
    QDir::setCurrent(input);
    const QString fixtures = TestEnvironment::fixture(QStringLiteral("whisper-server/"));
    const QString unusable = QStringLiteral("не удалось прочитать json\n");
    for (const auto& [arguments, exitCode, out] : std::initializer_list<std::tuple<QStringList, int, QString>>{
             {{fixtures + QStringLiteral("scripted_verbose_speech.json")},
              0,
              QStringLiteral("[0–1760 мс] «Привет, это проверка диктовки. Сегодня хорошая погода и мы»\n"
                             "[1760–2400 мс] «пойдём гулять в парк»\n[2500–3600 мс] «Спасибо!»\n")},
             {{fixtures + QStringLiteral("scripted_json_speech.json")}, 0, QString()},
             {{QStringLiteral("answer.json"), QStringLiteral("лишнее")}, 0, QStringLiteral("[500–1500 мс] «Раздва»\n")},
             {{QStringLiteral("array.json")}, 1, unusable},
             {{QStringLiteral("broken.json")}, 1, unusable},
             {{QStringLiteral("empty.json")}, 1, unusable},
             {{QStringLiteral("нет такого.json")}, 1, unusable},
             {{input}, 1, unusable}}) {
        const auto result = runTolvan(QStringList{QStringLiteral("--parse-test")} + arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, exitCode) << arguments.join(u' ').toStdString();
        EXPECT_EQ(result.out(), out) << arguments.join(u' ').toStdString();
    }
}

TEST(Dispatch, AFlagWithoutItsParameterStartsTheApplicationWhichNeedsADisplay)
{
    const QString tolvan = QStringLiteral("tolvan");
    for (const QStringList& arguments : {QStringList{tolvan, QStringLiteral("--parse-test")}, QStringList{tolvan},
                                         QStringList{tolvan, QStringLiteral("--PARSE-TEST"), QStringLiteral("f")},
                                         QStringList{tolvan, QStringLiteral("--parse-test=f")}})
        EXPECT_FALSE(CommandLine::selectMode(arguments).has_value()) << arguments.join(u' ').toStdString();
    EXPECT_TRUE(CommandLine::selectMode({tolvan, QStringLiteral("--parse-test"), QStringLiteral("f")}));

    // Without a display the application says so and stops instead of crashing.
    QProcessEnvironment withoutDisplay = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        withoutDisplay.remove(QString::fromLatin1(variable));
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--parse-test")}, QStringList{}, QStringList{QStringLiteral("--update-now")}}) {
        const auto result = runTolvan(arguments, {}, withoutDisplay);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.standardOutput.isEmpty());
        EXPECT_TRUE(result.err().contains(QStringLiteral("Толвану нужен графический сеанс")))
            << result.err().toStdString();
    }
}

TEST(Dispatch, VersionAndHelp)
{
    const auto version = runTolvan({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out().startsWith(QStringLiteral("Толван 0."))) << version.out().toStdString();
    const auto help = runTolvan({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out().contains(QStringLiteral("tolvan --parse-test ФАЙЛ.json — ")));
    EXPECT_EQ(help.out().trimmed(), CommandLine::usage());
}
