#include "core/Paths.h"
#include "quality/AdvisorEngine.h"
#include "quality/AdvisorText.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QFile>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace
{

class AdvisorCommandLine : public ::testing::Test
{
protected:
    // The fake server in place of llama-server.
    void SetUp() override
    {
        TestEnvironment::freshHome();
        recordDir = TestEnvironment::makeDirectory(QStringLiteral("llama-cli-%1").arg(++runs));
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TOLVAN_LLAMA_BIN", FAKE_LLAMA_SERVER);
        environment.insert("FAKE_LLAMA_RECORD_DIR", recordDir);
    }

    // The real model's size, without its gigabytes: the file is sparse.
    static void placeModel()
    {
        QFile model(TestFiles::write(Paths::advisorModelsDir() + "/" + AdvisorEngine::modelFileName, "GGUF"));
        ASSERT_TRUE(model.resize(AdvisorEngine::ModelSizes{}.presentAbove + 1));
    }

    ProcessOutput advisorTest(const QStringList& parameters)
    {
        return runTolvan(QStringList{"--advisor-test"} + parameters, {}, environment, 60000);
    }

    static inline int runs = 0;
    QString recordDir;
    QProcessEnvironment environment;
};

} // namespace

TEST_F(AdvisorCommandLine, PrintsScoreAndTextAndStopsTheServer)
{
    placeModel();
    environment.insert("FAKE_LLAMA_CONTENT", " ОЦЕНКА: 3\nТЕКСТ: Прошу прислать отчёт до пятницы.");
    const ProcessOutput output = advisorTest({"ну это, отчёт скинь до пятницы", "7"});
    ASSERT_TRUE(output.finished);
    EXPECT_EQ(output.exitCode, 0) << output.err().toStdString();
    EXPECT_EQ(output.outLines(), (QStringList{"ИИ-ОЦЕНКА: 3 из 5", "ТЕКСТ: Прошу прислать отчёт до пятницы."}));
    // The server went away with the program, asked politely and given the time to leave on its own.
    const qint64 pid = TestFiles::read(recordDir + "/pids.txt").trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    const QByteArray status = TestFiles::read(QStringLiteral("/proc/%1/status").arg(pid));
    EXPECT_TRUE(status.isEmpty() || status.contains("State:\tZ")) << status.toStdString();
    EXPECT_TRUE(TestFiles::read(Paths::logDir() + "/advisor.log").contains("cleaning up before exit"));
    EXPECT_FALSE(output.err().contains("Destroyed while process"));
}

TEST_F(AdvisorCommandLine, JokeStylesNeedNoModelAndFailuresArePrintedWithStatusOne)
{
    const ProcessOutput joke = advisorTest({"Привет, мир!", "5", "cat"});
    ASSERT_TRUE(joke.finished);
    EXPECT_EQ(joke.exitCode, 0);
    EXPECT_EQ(joke.outLines(),
              (QStringList{"ИИ-ОЦЕНКА: ? из 5", "ТЕКСТ: " + AdvisorText::animalTranslate("Привет, мир!", true)}));
    EXPECT_FALSE(QFile::exists(recordDir + "/pids.txt"));

    // How the engine fails is pinned in AdvisorServerTest; here a failure before and after the server started.
    environment.insert("FAKE_LLAMA_REPLY", "garbage");
    for (const QString line : {"ОШИБКА: модель советника не загружена",
                               "ОШИБКА: не удалось разобрать ответ: \x01\x02 Gateway: upstream said При nothing"}) {
        const ProcessOutput output = advisorTest({"фраза"});
        ASSERT_TRUE(output.finished);
        EXPECT_EQ(output.exitCode, 1);
        EXPECT_EQ(output.outLines(), QStringList{line});
        placeModel();
    }
}
