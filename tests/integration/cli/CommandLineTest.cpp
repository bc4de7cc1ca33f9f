#include "cli/CommandLine.h"

#include "cli/AdvisorTestMode.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "engines/ModelCatalog.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TestModels.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QProcess>
#include <QSysInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>
#include <unistd.h>

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

// Whatever the recording holds, silence included, a missing model is an error and not an empty text.
TEST(GigaamTest, WithoutTheModelFailsForSilenceAsForSpeech)
{
    for (const char* recording : {"whisper-server/silence_1s.wav", "whisper-server/speech_ru_16k.wav"}) {
        const auto result = runTolvan({"--gigaam-test", TestEnvironment::fixture(recording)});
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1) << recording;
        EXPECT_EQ(result.outLines(), QStringList{QStringLiteral("ОШИБКА: модель GigaAM не загружена")}) << recording;
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

// Without a runtime folder, and with the temporary directory's folder of our name taken by another user, one copy
// still runs: it locks in the state folder and listens beside the lock, so a second start opens the first one's
// settings and leaves, and the commands reach the first copy.
TEST(SingleInstance, HoldsWhenAnotherUserTookTheFolderInTheTemporaryDirectory)
{
    const QString temporary = TestEnvironment::makeDirectory(QStringLiteral("tmp"));
    const QString taken = temporary + QStringLiteral("/tolvan-%1").arg(::getuid());
    ASSERT_TRUE(QDir().mkdir(taken));
    ASSERT_TRUE(QFile::setPermissions(taken, QFileDevice::Permissions(0x7777)));
    if (::getuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(taken).constData(), 65534, 65534), 0);
    }
    ASSERT_TRUE(TestModels::placeDefault());
    SettingsStore(Paths::settingsFile()).setBool(SettingsKey::firstRunDone, true);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(variable));
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // No child is started, and the clean-up of strays finds none of another test's.
    environment.insert(QStringLiteral("TOLVAN_WHISPER_BIN"), temporary + QStringLiteral("/no-whisper-server"));
    environment.insert(QStringLiteral("TOLVAN_LLAMA_BIN"), temporary + QStringLiteral("/no-llama-server"));
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(tolvanExecutable(), {});
    const auto launches = [] { return TestEnvironment::appLog().count(QStringLiteral("Запуск «Толван»")); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return launches() == 1; }, 15000));

    const ProcessOutput second = runTolvan({}, {}, environment, 15000);
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(runTolvan({QStringLiteral("--cancel")}, {}, environment, 15000).exitCode, 0);
    EXPECT_EQ(launches(), 1);
    EXPECT_TRUE(TestEnvironment::appLog().contains(QStringLiteral("Толван уже запущен — открываю его настройки")));
    EXPECT_TRUE(QFileInfo::exists(Paths::logDir() + QStringLiteral("/instance-") + QSysInfo::machineHostName() +
                                  QStringLiteral("/instance.lock")));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(10000));
}

TEST(AdvisorTestArguments, IntensityParsing)
{
    // Anything but a whole number in range leaves the default 5; the minus may be a typographic one.
    const std::pair<QStringList, qint64> cases[] = {
        {{}, 5},   {{"0"}, 0},   {{"+7", "legal"}, 7}, {{"-2"}, -2}, {{"−3"}, -3}, {{"15"}, 15},
        {{""}, 5}, {{"abc"}, 5}, {{" 3"}, 5},          {{"3.5"}, 5}, {{"+"}, 5},   {{"99999999999999999999"}, 5}};
    for (const auto& [tail, expected] : cases)
        EXPECT_EQ(AdvisorTestMode::intensityArgument(QStringList{"tolvan", "--advisor-test", "текст"} + tail), expected)
            << tail.join(' ').toStdString();
}
