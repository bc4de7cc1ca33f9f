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
    const QString input = TestEnvironment::makeDirectory("input");
    TestFiles::write(input + "/answer.json",
                     R"({"segments":[{"text":" Раз","start":0.5,"end":1},{"text":"два","start":1,"end":1.5}]})");
    TestFiles::write(input + "/array.json", R"([{"text": " да", "start": 0, "end": 1}])");
    TestFiles::write(input + "/broken.json", R"({"segments": [)");
    QDir::setCurrent(input);
    const QString fixtures = TestEnvironment::fixture("whisper-server/");
    const QString unusable = "не удалось прочитать json\n";
    for (const auto& [arguments, exitCode, out] : std::initializer_list<std::tuple<QStringList, int, QString>>{
             {{fixtures + "scripted_verbose_speech.json"},
              0,
              "[0–1760 мс] «Привет, это проверка диктовки. Сегодня хорошая погода и мы»\n"
              "[1760–2400 мс] «пойдём гулять в парк»\n[2500–3600 мс] «Спасибо!»\n"},
             {{fixtures + "scripted_json_speech.json"}, 0, ""},
             {{"answer.json", "лишнее"}, 0, "[500–1500 мс] «Раздва»\n"},
             {{"array.json"}, 1, unusable},
             {{"broken.json"}, 1, unusable},
             {{"нет такого.json"}, 1, unusable},
             {{input}, 1, unusable}}) {
        const auto result = runTolvan(QStringList{"--parse-test"} + arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, exitCode) << arguments.join(u' ').toStdString();
        EXPECT_EQ(result.out(), out) << arguments.join(u' ').toStdString();
    }
}

TEST(Dispatch, HelpPrintsTheUsageAndAFlagWithoutItsParameterStartsTheApplicationWhichNeedsADisplay)
{
    const auto help = runTolvan({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out().trimmed(), CommandLine::usage());
    for (const QStringList& arguments :
         std::initializer_list<QStringList>{{"tolvan", "--PARSE-TEST", "f"}, {"tolvan", "--parse-test=f"}})
        EXPECT_FALSE(CommandLine::selectMode(arguments).has_value()) << arguments.join(u' ').toStdString();

    // Without a display the application says so and stops instead of crashing.
    QProcessEnvironment withoutDisplay = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        withoutDisplay.remove(QString::fromLatin1(variable));
    for (const QStringList& arguments : std::initializer_list<QStringList>{{"--parse-test"}, {}, {"--update-now"}}) {
        const auto result = runTolvan(arguments, {}, withoutDisplay);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.standardOutput.isEmpty());
        EXPECT_TRUE(result.err().contains("Толвану нужен графический сеанс")) << result.err().toStdString();
    }
}
