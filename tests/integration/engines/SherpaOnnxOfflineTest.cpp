#include "engines/GigaAMEngine.h"
#include "engines/GigaAMServer.h"
#include "engines/ModelCatalog.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace
{

const QString program = QStringLiteral(REAL_SHERPA_ONNX_OFFLINE);

// sherpa-onnx-offline as the bundle has it: the program built into the build tree with the sherpa-onnx libraries
// that scripts/fetch-sherpa-onnx.sh puts beside it, and a transducer made by make-tiny-transducer.py that writes
// "привет мир" on fixed frames whatever it hears. The fake covers hung and killed recognizers.
class RealSherpaOnnx : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(QFileInfo(program).absolutePath() + "/libsherpa-onnx-c-api.so"))
            GTEST_SKIP() << "the sherpa-onnx libraries are missing (scripts/fetch-sherpa-onnx.sh BUILD_TREE puts them "
                         << "beside " << program.toStdString() << ")";
        const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
        modelDir = model.location();
        QDir().mkpath(modelDir);
        // As large as the real files, so that the model counts as downloaded.
        QStringList arguments{TINY_TRANSDUCER_GENERATOR, modelDir};
        for (const double sizeMB : model.fileSizesMB)
            arguments.append(QString::number(ModelCatalog::completeSizeThreshold(sizeMB) + 1));
        const ProcessOutput made = runProgram("/usr/bin/python3", arguments);
        ASSERT_EQ(made.exitCode, 0) << made.err().toStdString();
    }

    static ProcessOutput runDirectly(const QString& executable, const QString& models, bool debug = false)
    {
        QStringList arguments =
            GigaAMEngine::arguments(models, 3, TestEnvironment::fixture("whisper-server/silence_1s.wav"));
        if (debug)
            arguments.insert(6, QStringLiteral("--debug=1"));
        return runProgram(executable, arguments);
    }

    QString modelDir;
    const QString speech = TestEnvironment::fixture("whisper-server/speech_ru_16k.wav");
};

} // namespace

TEST_F(RealSherpaOnnx, TheAppFindsTheBundledProgramAndGetsTextAndTimedWords)
{
    // The characters of "привет" at 0.08…0.28 s, the space after a pause at 1.00 s, "мир" up to 1.12 s.
    const ProcessOutput output = runTolvan({"--gigaam-test", speech});
    EXPECT_EQ(output.exitCode, 0) << output.err().toStdString();
    EXPECT_EQ(output.outLines(),
              (QStringList{"ТЕКСТ: привет мир", "СЕГМЕНТОВ: 2", "  [80–520 мс] привет", "  [1000–1360 мс] мир"}));
}

TEST_F(RealSherpaOnnx, EveryOptionReachesTheLibraryAndBadModelsOrAnotherReleaseFailClearly)
{
    // The library's own account of the configuration it read: every field in its place.
    const QString missing = TestEnvironment::makeDirectory("missing-model") + "/gone";
    const ProcessOutput debug = runDirectly(program, missing, true);
    EXPECT_EQ(debug.exitCode, 1);
    for (const QString& field : QStringList{
             "sampling_rate=16000", "encoder_filename=\"" + missing + "/encoder.int8.onnx\"",
             "decoder_filename=\"" + missing + "/decoder.onnx\"", "joiner_filename=\"" + missing + "/joiner.onnx\"",
             "tokens=\"" + missing + "/tokens.txt\"", QStringLiteral("num_threads=3"), QStringLiteral("debug=True"),
             QStringLiteral("provider=\"cpu\""), QStringLiteral("model_type=\"nemo_transducer\""),
             QStringLiteral("decoding_method=\"greedy_search\""),
             QStringLiteral("sherpa-onnx-offline: модель не загрузилась: файлы модели отсутствуют или не подходят")})
        EXPECT_TRUE(debug.err().contains(field)) << field.toStdString() << "\n" << debug.err().toStdString();

    // A file that is no model (onnxruntime throws): status 1, not an abort, which the engine reports.
    ASSERT_TRUE(TestFiles::write(modelDir + "/joiner.onnx", QByteArray(3 << 20, 'x')).size() > 0);
    EXPECT_EQ(runTolvan({"--gigaam-test", speech}).outLines(),
              QStringList{QStringLiteral("ОШИБКА: sherpa-onnx завершился с кодом 1")});

    // Beside a library of another release the program refuses to run: its records would not match.
    const QString copy = TestEnvironment::makeDirectory("other-release") + "/sherpa-onnx-offline";
    ASSERT_TRUE(QFile::copy(program, copy));
    ASSERT_TRUE(QFile::copy(FAKE_SHERPA_OTHER_RELEASE, QFileInfo(copy).absolutePath() + "/libsherpa-onnx-c-api.so"));
    const ProcessOutput refused = runDirectly(copy, modelDir);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err().contains("библиотека sherpa-onnx версии 1.12.0, а программа написана для версии 1.13.8"))
        << refused.err().toStdString();
}

TEST_F(RealSherpaOnnx, ServingAnswersEveryRequestLineBadOnesWithAnErrorAndEndsWithItsInput)
{
    const QString directory = TestEnvironment::makeDirectory("serving");
    const QByteArray wav = TestFiles::read(speech);
    const QString gone = directory + "/gone.wav";
    const QString cut = TestFiles::write(directory + "/cut.wav", wav.left(30));
    const QString shortData = TestFiles::write(directory + "/short-data.wav", wav.left(44) + QByteArray(100, 0));
    const QString noise = TestFiles::write(directory + "/noise.wav", QByteArray(5000, 'x'));
    const QString unreadable = "не удалось прочитать WAV-файл ";
    // Each request line, and the text or the error its answer line must give; the last one ends the input.
    const std::vector<std::pair<QByteArray, QString>> requests{
        {speech.toUtf8(), "привет мир"},
        {gone.toUtf8(), "sherpa-onnx: " + unreadable + gone + ": No such file or directory"},
        {cut.toUtf8(), "sherpa-onnx: " + unreadable + cut + ": часть «fmt » длиннее файла"},
        {shortData.toUtf8(), "sherpa-onnx: " + unreadable + shortData + ": часть «data» длиннее файла"},
        {noise.toUtf8(), "sherpa-onnx: " + unreadable + noise + ": это не WAV"},
        {QByteArray(100000, 'a'), "sherpa-onnx: строка запроса длиннее 4096 байт"},
        {QByteArray(), "sherpa-onnx: пустой запрос: нужен путь к WAV-файлу"},
        {speech.toUtf8(), "привет мир"},
        {speech.toUtf8().chopped(1), "sherpa-onnx: ввод закончился посреди запроса"},
    };
    QStringList arguments = GigaAMEngine::arguments(modelDir, 2, QString());
    arguments.last() = QStringLiteral("--serve");
    QProcess serving;
    serving.start(program, arguments);
    ASSERT_TRUE(serving.waitForStarted());
    for (size_t index = 0; index < requests.size(); ++index) {
        const auto& [request, expected] = requests[index];
        const bool last = index + 1 == requests.size();
        serving.write(last ? request : request + '\n');
        if (last)
            serving.closeWriteChannel();
        while (!serving.canReadLine() && serving.waitForReadyRead(20000)) {
        }
        ASSERT_TRUE(serving.canReadLine()) << index << " " << serving.readAllStandardError().toStdString();
        const Result<TranscriptionResult> answer = GigaAMServer::parseAnswer(serving.readLine().chopped(1));
        EXPECT_EQ((answer ? answer.value().text : answer.error().description()).toStdString(), expected.toStdString())
            << index;
    }
    ASSERT_TRUE(serving.waitForFinished(10000));
    EXPECT_EQ(serving.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(serving.exitCode(), 0);
    EXPECT_TRUE(serving.readAllStandardOutput().isEmpty());
}
