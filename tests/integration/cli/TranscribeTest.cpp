#include "audio/WavWriter.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "engines/ModelCatalog.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TestModels.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

// `tolvan --transcribe` against the fake whisper-server, with the default model's file in place.
class TranscribeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestModels::placeDefault());
        qputenv("TOLVAN_WHISPER_BIN", FAKE_WHISPER_SERVER);
        qputenv("FAKE_WHISPER_RECORD_DIR", recordDir.toUtf8());
        // The tones below are voice to the loudness rule, not to the voice detector, whose cutting of speech has tests
        // of its own: here the pieces' way through decoding and recognition is tested.
        qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
    }

    // Makes `name` in the work folder with sox from the inputs (and output options), then the effects.
    QString sox(const QString& name, const QStringList& inputs, const QStringList& effects = {}) const
    {
        const QString path = work + u'/' + name;
        const ProcessOutput made = runProgram(QStringLiteral("sox"), inputs + QStringList{path} + effects);
        EXPECT_EQ(made.exitCode, 0) << made.err().toStdString();
        return path;
    }

    // Makes the MP3 `name` in the work folder from a WAV with lame, in its channel mode ("s" stereo, "m" mono).
    QString lame(const QString& name, const QString& wav, const QString& mode) const
    {
        const QString path = work + u'/' + name;
        const ProcessOutput made = runProgram(QStringLiteral("lame"), {"--quiet", "-m", mode, wav, path});
        EXPECT_EQ(made.exitCode, 0) << made.err().toStdString();
        return path;
    }

    // Refused with the reason, nothing sent to the recognizer.
    void expectRefused(const QString& argument, const QString& reason) const
    {
        const ProcessOutput result =
            runTolvan({QStringLiteral("--transcribe"), argument}, {}, QProcessEnvironment::systemEnvironment(), 20000);
        ASSERT_TRUE(result.finished) << argument.toStdString();
        EXPECT_EQ(result.exitCode, 1) << argument.toStdString();
        EXPECT_TRUE(result.standardOutput.isEmpty());
        EXPECT_TRUE(result.err().contains(reason)) << result.err().toStdString();
        EXPECT_TRUE(recognizedWavs().isEmpty()) << argument.toStdString();
    }

    // The WAV files the recognizer got after its warm-up, in order.
    QList<QByteArray> recognizedWavs() const
    {
        QList<QByteArray> wavs;
        for (int number = 2;; ++number) {
            const QByteArray body = TestFiles::read(recordDir + QStringLiteral("/request-%1.body").arg(number));
            if (body.isEmpty())
                return wavs;
            const qsizetype start = body.indexOf("RIFF");
            wavs.append(body.mid(start, body.lastIndexOf("\r\n--") - start));
        }
    }

    // Of this test alone, also when the cases run in one process.
    const QString name = QString::fromUtf8(testing::UnitTest::GetInstance()->current_test_info()->name());
    const QString work = TestEnvironment::makeDirectory(QStringLiteral("audio-") + name);
    const QString recordDir = TestEnvironment::makeDirectory(QStringLiteral("whisper-") + name);
};

TEST_F(TranscribeTest, AShortStereoWavReachesTheRecognizerAs16kHzMonoAndItsTextIsPrinted)
{
    const QString wav = sox(QStringLiteral("short.wav"), {"-n", "-r", "44100", "-c", "2", "-b", "16"},
                            {"synth", "2", "sine", "440", "pad", "0", "1"});
    const ProcessOutput result = runTolvan({QStringLiteral("--transcribe"), wav});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err().toStdString();
    // The recorded answer of the fake (scripted_verbose_speech.json), as a dictation makes it.
    EXPECT_TRUE(result.out().startsWith(QStringLiteral("Привет, это проверка диктовки.")))
        << result.out().toStdString();
    EXPECT_TRUE(result.out().contains(QStringLiteral("Спасибо!")));
    const QList<QByteArray> sent = recognizedWavs();
    ASSERT_EQ(sent.size(), 1);
    const QByteArray& piece = sent.first();
    EXPECT_EQ(piece.left(WavWriter::headerSize),
              WavWriter::header(quint32(piece.size() - WavWriter::headerSize), 16000));
    // Three seconds at 16 kHz: the trailing silence may be left out.
    EXPECT_NEAR(double(piece.size() - WavWriter::headerSize) / 32000.0, 3.0, 1.01);
    EXPECT_TRUE(result.err().contains(QStringLiteral("Распознано 100 %"))) << result.err().toStdString();
}

// Tones of 3 to 9 s, each followed by 6 s of silence, three minutes in all: cut at the pauses into pieces of 25 s at
// most, which the fake answers with a phrase per tone, "Фраза около N с.".
TEST_F(TranscribeTest, AThreeMinuteFlacIsRecognizedInPiecesInOrderWithProgress)
{
    qputenv("FAKE_WHISPER_SEGMENTS_FROM_AUDIO", "1");
    QStringList parts;
    QList<int> tones;
    for (int index = 0; index < 15; ++index) {
        tones.append(3 + index % 7);
        parts.append(sox(QStringLiteral("part-%1.wav").arg(index), {"-n", "-r", "22050", "-c", "1"},
                         {"synth", QString::number(tones.last()), "sine", "300", "pad", "0", "6"}));
    }
    const QString flac = sox(QStringLiteral("long.flac"), parts);
    const ProcessOutput result =
        runTolvan({QStringLiteral("--transcribe"), flac}, {}, QProcessEnvironment::systemEnvironment(), 60000);
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.err().toStdString();

    QList<int> heard;
    for (const QRegularExpressionMatch& match :
         QRegularExpression(QStringLiteral("Фраза около (\\d+)")).globalMatch(result.out()))
        heard.append(match.captured(1).toInt());
    EXPECT_EQ(heard, tones) << result.out().toStdString();
    const qsizetype pieces = recognizedWavs().size();
    EXPECT_GE(pieces, 6);

    QList<int> percents;
    for (const QRegularExpressionMatch& match :
         QRegularExpression(QStringLiteral("Распознано (\\d+) % \\((\\d+:\\d\\d) из 2:57\\)"))
             .globalMatch(result.err()))
        percents.append(match.captured(1).toInt());
    EXPECT_EQ(percents.size(), pieces) << result.err().toStdString();
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_GT(percents.last(), 90);
}

TEST_F(TranscribeTest, AFileThatIsNotAudioOrMissingFailsWithARussianMessage)
{
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    const QString broken = TestFiles::write(work + QStringLiteral("/запись.mp3"), noise);
    for (const auto& [path, reason] :
         {std::pair{broken, QStringLiteral("«запись.mp3»: это не аудиофайл")},
          {work + QStringLiteral("/нет.ogg"), QStringLiteral("«нет.ogg»: файл не найден")}}) {
        const ProcessOutput result = runTolvan({QStringLiteral("--transcribe"), path});
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.standardOutput.isEmpty());
        EXPECT_TRUE(result.err().contains(QStringLiteral("Не удалось прочитать аудиофайл ") + reason))
            << result.err().toStdString();
    }
    EXPECT_TRUE(recognizedWavs().isEmpty());
}

// Two MP3 files joined as players join them: the frames switch from stereo to mono half-way.
TEST_F(TranscribeTest, AnMp3ThatSwitchesFromStereoToMonoReachesTheRecognizerWhole)
{
    const QString stereo = lame(
        QStringLiteral("stereo.mp3"),
        sox(QStringLiteral("stereo.wav"), {"-n", "-r", "44100", "-c", "2", "-b", "16"}, {"synth", "3", "sine", "440"}),
        QStringLiteral("s"));
    const QString mono = lame(
        QStringLiteral("mono.mp3"),
        sox(QStringLiteral("mono.wav"), {"-n", "-r", "44100", "-c", "1", "-b", "16"}, {"synth", "3", "sine", "300"}),
        QStringLiteral("m"));
    const QString joined =
        TestFiles::write(work + QStringLiteral("/joined.mp3"), TestFiles::read(stereo) + TestFiles::read(mono));
    const ProcessOutput result = runTolvan({QStringLiteral("--transcribe"), joined});
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.err().toStdString();
    const QList<QByteArray> sent = recognizedWavs();
    ASSERT_FALSE(sent.isEmpty());
    qsizetype samples = 0;
    for (const QByteArray& piece : sent) {
        EXPECT_EQ(piece.left(WavWriter::headerSize),
                  WavWriter::header(quint32(piece.size() - WavWriter::headerSize), 16000));
        samples += (piece.size() - WavWriter::headerSize) / 2;
    }
    // Six seconds of tone, give or take the encoder's padding.
    EXPECT_NEAR(double(samples) / 16000.0, 6.0, 0.15);
}

// What FFmpeg would take for a protocol, or a list of other files to read, is no file to recognize.
TEST_F(TranscribeTest, ProtocolsAndPlaylistsAreRefusedWithoutReadingWhatTheyName)
{
    const QString wav =
        sox(QStringLiteral("speech.wav"), {"-n", "-r", "16000", "-c", "1", "-b", "16"}, {"synth", "2", "sine", "440"});
    const QString mp3 = lame(QStringLiteral("speech.mp3"), wav, QStringLiteral("m"));
    for (const QString& address : {QStringLiteral("concat:") + wav + u'|' + wav, QStringLiteral("file:") + wav,
                                   QStringLiteral("http://127.0.0.1:9/speech.wav")})
        expectRefused(address, QStringLiteral("это не путь к файлу, а адрес"));
    const QString hls = TestFiles::write(
        work + QStringLiteral("/list.m3u8"),
        QStringLiteral("#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3.0,\n%1\n#EXT-X-ENDLIST\n").arg(mp3).toUtf8());
    expectRefused(hls, QStringLiteral("«list.m3u8»: это не аудиофайл или его формат не поддерживается"));
    const QString ffconcat = TestFiles::write(work + QStringLiteral("/list.ffconcat"),
                                              QByteArrayLiteral("ffconcat version 1.0\nfile 'speech.wav'\n"));
    expectRefused(ffconcat, QStringLiteral("«list.ffconcat»: это не аудиофайл или его формат не поддерживается"));
}

// A FIFO would block the reader until someone writes; a link may lead anywhere.
TEST_F(TranscribeTest, AFifoADirectoryAndALinkAreRefusedAtOnce)
{
    const QString fifo = work + QStringLiteral("/канал.wav");
    ASSERT_EQ(runProgram(QStringLiteral("mkfifo"), {fifo}).exitCode, 0);
    expectRefused(fifo, QStringLiteral("«канал.wav»: это не обычный файл"));
    expectRefused(work, QStringLiteral("это не обычный файл"));
    const QString wav =
        sox(QStringLiteral("speech.wav"), {"-n", "-r", "16000", "-c", "1", "-b", "16"}, {"synth", "2", "sine", "440"});
    const QString link = work + QStringLiteral("/ссылка.wav");
    ASSERT_TRUE(QFile::link(wav, link));
    expectRefused(link, QStringLiteral("«ссылка.wav»: это ссылка"));
}
