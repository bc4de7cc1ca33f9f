#include "engines/GigaAMEngine.h"
#include "engines/ModelCatalog.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <future>

namespace
{

const QString program = QStringLiteral(REAL_SHERPA_ONNX_OFFLINE);

QByteArray varint(quint64 value)
{
    QByteArray bytes;
    for (; value >= 0x80; value >>= 7)
        bytes.append(static_cast<char>((value & 0x7f) | 0x80));
    return bytes.append(static_cast<char>(value));
}

// Makes an ONNX file at least `size` bytes long with a field the reader skips, sparse.
bool padModel(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return false;
    const qint64 payload = std::max<qint64>(size - file.size(), 0);
    const QByteArray header = varint((1000u << 3) | 2u) + varint(static_cast<quint64>(payload));
    const qint64 end = file.size() + header.size();
    return file.write(header) == header.size() && file.resize(end + payload);
}

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
        const WhisperModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
        modelDir = model.location();
        QDir().mkpath(modelDir);
        const ProcessOutput made = runProgram("/usr/bin/python3", {TINY_TRANSDUCER_GENERATOR, modelDir});
        ASSERT_EQ(made.exitCode, 0) << made.err().toStdString();
        // As large as the real files, so that the model counts as downloaded.
        for (int index = 0; index < 3; ++index)
            ASSERT_TRUE(padModel(model.filePath(index), ModelCatalog::completeSizeThreshold(model.fileSizesMB[index])));
        QFile tokens(model.filePath(3));
        ASSERT_TRUE(tokens.open(QIODevice::Append));
        tokens.write(QByteArray(static_cast<int>(ModelCatalog::completeSizeThreshold(model.fileSizesMB[3])), '\n'));
    }

    static Result<TranscriptionResult> recognize()
    {
        GigaAMEngine engine;
        std::promise<Result<TranscriptionResult>> promise;
        engine.transcribe(TestFiles::read(TestEnvironment::fixture("whisper-server/speech_ru_16k.wav")),
                          [&](Result<TranscriptionResult> result) { promise.set_value(std::move(result)); });
        return promise.get_future().get();
    }

    ProcessOutput runDirectly(const QString& executable, const QString& models, const QStringList& extra = {}) const
    {
        QStringList arguments =
            GigaAMEngine::arguments(models, 3, TestEnvironment::fixture("whisper-server/silence_1s.wav"));
        for (const QString& option : extra)
            arguments.insert(arguments.size() - 1, option);
        return runProgram(executable, arguments);
    }

    QString modelDir;
};

} // namespace

TEST_F(RealSherpaOnnx, TheEngineFindsTheBundledProgramAndGetsTextAndTimedWords)
{
    const Result<TranscriptionResult> result = recognize();
    ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
    EXPECT_EQ(result.value().text, QStringLiteral("привет мир"));
    // The characters of "привет" at 0.08…0.28 s, the space after a pause at 1.00 s, "мир" up to 1.12 s.
    std::vector<std::tuple<QString, int64_t, int64_t>> segments;
    for (const SpeechSegment& segment : result.value().segments)
        segments.emplace_back(segment.text, segment.startMs, segment.endMs);
    EXPECT_EQ(segments, (std::vector<std::tuple<QString, int64_t, int64_t>>{{"привет", 80, 520}, {"мир", 1000, 1360}}));
}

TEST_F(RealSherpaOnnx, EveryOptionReachesTheLibraryAndBadModelsOrAnotherReleaseFailClearly)
{
    // The library's own account of the configuration it read: every field in its place.
    const QString missing = TestEnvironment::makeDirectory("missing-model") + "/gone";
    const ProcessOutput debug = runDirectly(program, missing, {"--debug=1"});
    EXPECT_EQ(debug.exitCode, 1);
    for (const QString& field : QStringList{
             "sampling_rate=16000", "encoder_filename=\"" + missing + "/encoder.int8.onnx\"",
             "decoder_filename=\"" + missing + "/decoder.onnx\"", "joiner_filename=\"" + missing + "/joiner.onnx\"",
             "tokens=\"" + missing + "/tokens.txt\"", QStringLiteral("num_threads=3"), QStringLiteral("debug=True"),
             QStringLiteral("provider=\"cpu\""), QStringLiteral("model_type=\"nemo_transducer\""),
             QStringLiteral("decoding_method=\"greedy_search\""),
             QStringLiteral("sherpa-onnx-offline: модель не загрузилась: файлы модели отсутствуют или не подходят")})
        EXPECT_TRUE(debug.err().contains(field)) << field.toStdString() << "\n" << debug.err().toStdString();
    EXPECT_TRUE(debug.out().isEmpty());

    // A file that is no model: a message and status 1, through the engine the error it reports for that.
    ASSERT_TRUE(TestFiles::write(modelDir + "/joiner.onnx", QByteArray(3 << 20, 'x')).size() > 0);
    const ProcessOutput broken = runDirectly(program, modelDir);
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err().contains("sherpa-onnx-offline: модель не загрузилась: ")) << broken.err().toStdString();
    EXPECT_EQ(recognize().error(), Error::tolvan(40, QStringLiteral("sherpa-onnx завершился с кодом 1")));

    // Beside a library of another release the program refuses to run: its records would not match.
    const QString copy = TestEnvironment::makeDirectory("other-release") + "/sherpa-onnx-offline";
    ASSERT_TRUE(QFile::copy(program, copy));
    ASSERT_TRUE(QFile::copy(FAKE_SHERPA_OTHER_RELEASE, QFileInfo(copy).absolutePath() + "/libsherpa-onnx-c-api.so"));
    const ProcessOutput refused = runDirectly(copy, modelDir);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err().contains("библиотека sherpa-onnx версии 1.12.0, а программа написана для версии 1.13.8"))
        << refused.err().toStdString();
}
