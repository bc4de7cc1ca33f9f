#include "cli/CommandLine.h"

#include "support/TestEnvironment.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace
{

QString writeFile(const QString& name, const QByteArray& content)
{
    const QString path = TestEnvironment::makeDirectory(QStringLiteral("input")) + QLatin1Char('/') + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

// The environment of a desktop with no display at all.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}

const QString noDisplayMessage = QStringLiteral("Толвану нужен графический сеанс");

} // namespace

TEST(ParseTest, PrintsTheSegmentsOfARealServerAnswer)
{
    const auto result =
        runTolvan({QStringLiteral("--parse-test"),
                   TestEnvironment::fixture(QStringLiteral("whisper-server/scripted_verbose_speech.json"))});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.outLines(),
              (QStringList{QStringLiteral("[0–1760 мс] «Привет, это проверка диктовки. Сегодня хорошая погода и мы»"),
                           QStringLiteral("[1760–2400 мс] «пойдём гулять в парк»"),
                           QStringLiteral("[2500–3600 мс] «Спасибо!»")}));
}

TEST(ParseTest, AnswerWithoutSegmentsPrintsNothing)
{
    const auto result =
        runTolvan({QStringLiteral("--parse-test"),
                   TestEnvironment::fixture(QStringLiteral("whisper-server/scripted_json_speech.json"))});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.standardOutput.isEmpty());
}

TEST(ParseTest, UnusableFilesFailWithOneLine)
{
    const QStringList unusable{
        writeFile(QStringLiteral("array.json"), "[{\"text\": \" да\", \"start\": 0, \"end\": 1}]"),
        writeFile(QStringLiteral("broken.json"), "{\"segments\": ["), writeFile(QStringLiteral("empty.json"), ""),
        TestEnvironment::home() + QStringLiteral("/нет такого.json"), TestEnvironment::home()};
    for (const QString& path : unusable) {
        const auto result = runTolvan({QStringLiteral("--parse-test"), path});
        EXPECT_EQ(result.exitCode, 1) << path.toStdString();
        EXPECT_EQ(result.out(), QStringLiteral("не удалось прочитать json\n")) << path.toStdString();
    }
}

TEST(ParseTest, RelativePathAndExtraArguments)
{
    const QString path =
        writeFile(QStringLiteral("answer.json"),
                  R"({"segments":[{"text":" Раз","start":0.5,"end":1},{"text":"два","start":1,"end":1.5}]})");
    QDir::setCurrent(QFileInfo(path).absolutePath());
    const auto result =
        runTolvan({QStringLiteral("--parse-test"), QStringLiteral("answer.json"), QStringLiteral("лишнее")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out(), QStringLiteral("[500–1500 мс] «Раздва»\n"));
}

TEST(Dispatch, FlagWithoutItsParameterStartsTheApplication)
{
    EXPECT_FALSE(CommandLine::selectMode({QStringLiteral("tolvan"), QStringLiteral("--parse-test")}).has_value());
    EXPECT_FALSE(CommandLine::selectMode({QStringLiteral("tolvan")}).has_value());
    EXPECT_FALSE(
        CommandLine::selectMode({QStringLiteral("tolvan"), QStringLiteral("--PARSE-TEST"), QStringLiteral("f")}));
    EXPECT_FALSE(CommandLine::selectMode({QStringLiteral("tolvan"), QStringLiteral("--parse-test=f")}));
    EXPECT_TRUE(
        CommandLine::selectMode({QStringLiteral("tolvan"), QStringLiteral("--parse-test"), QStringLiteral("f")}));

    // Without a display the application says so and stops instead of crashing.
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--parse-test")}, QStringList{}, QStringList{QStringLiteral("--update-now")}}) {
        const auto result = runTolvan(arguments, {}, withoutDisplay());
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.standardOutput.isEmpty());
        EXPECT_TRUE(result.err().contains(noDisplayMessage)) << result.err().toStdString();
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
