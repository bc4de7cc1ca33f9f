#include "DesktopSession.h"
#include "app/Paths.h"
#include "app/SettingsStore.h"
#include "dictation/AudioRecorder.h"
#include "dictation/Sounds.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>

namespace
{

class RecorderDesktopTest : public DesktopTest
{
protected:
    AudioRecorder recorder;
};

// Seconds of sound in a 16-bit PCM WAV file.
double wavSeconds(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    const quint32 byteRate = qFromLittleEndian<quint32>(bytes.constData() + 28);
    return byteRate ? double(bytes.size() - 44) / byteRate : 0;
}

int peak(const std::vector<std::int16_t>& samples)
{
    int result = 0;
    for (const std::int16_t sample : samples)
        result = std::max(result, std::abs(int(sample)));
    return result;
}

QString appLog()
{
    QFile file(Paths::logDir() + QStringLiteral("/app.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const QString& value) : name_(name), old_(qgetenv(name))
    {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnvironment() { qputenv(name_, old_); }

private:
    const char* name_;
    QByteArray old_;
};

} // namespace

TEST_F(RecorderDesktopTest, SpokenSentenceIsRecordedAt16kHzWithItsVoicedLength)
{
    const QString speech = TestEnvironment::makeDirectory(QStringLiteral("speech")) + QStringLiteral("/phrase.wav");
    ASSERT_EQ(DesktopSession::run(QStringLiteral("espeak-ng"),
                                  {QStringLiteral("-v"), QStringLiteral("ru"), QStringLiteral("-w"), speech,
                                   QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода.")}),
              0);
    const double sentence = wavSeconds(speech);
    ASSERT_GT(sentence, 2.0);

    QElapsedTimer wall;
    QElapsedTimer sinceFirstBlock;
    recorder.onLevel = [&](float) {
        if (!sinceFirstBlock.isValid())
            sinceFirstBlock.start();
    };
    wall.start();
    ASSERT_TRUE(recorder.start().ok());
    // The virtual microphone may take a moment to deliver its first block on a busy machine.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFirstBlock.isValid(); }, 5000));
    QTest::qWait(200);
    ASSERT_EQ(DesktopSession::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), speech}), 0);
    QTest::qWait(300);
    const double streaming = sinceFirstBlock.elapsed() / 1000.0;
    const std::vector<std::int16_t> samples = recorder.stop();
    const double seconds = wall.elapsed() / 1000.0;
    const double voiced = recorder.voicedAccumMs() / 1000.0;

    // 16 000 samples per second of streaming.
    EXPECT_GT(samples.size(), (streaming - 0.2) * 16000) << samples.size() << " samples in " << streaming << " s";
    EXPECT_LT(samples.size(), (seconds + 0.1) * 16000);
    EXPECT_GT(peak(samples), 3000) << "the speech reached the microphone";
    EXPECT_GT(voiced, 0.6 * sentence) << "voiced " << voiced << " s of a " << sentence << " s sentence";
    EXPECT_LT(voiced, sentence + 0.3);
}

TEST_F(RecorderDesktopTest, SilenceHasAlmostNoVoicedTime)
{
    ASSERT_TRUE(recorder.start().ok());
    QTest::qWait(1500);
    const std::vector<std::int16_t> samples = recorder.stop();
    EXPECT_GT(samples.size(), 16000U);
    EXPECT_LT(recorder.voicedAccumMs(), 250.0);
}

TEST_F(RecorderDesktopTest, LevelsArriveWhileRecording)
{
    std::vector<float> levels;
    recorder.onLevel = [&](float level) { levels.push_back(level); };
    ASSERT_TRUE(recorder.start().ok());
    QTest::qWait(600);
    recorder.stop();
    // About 85 ms per block.
    EXPECT_GE(levels.size(), 4U);
    EXPECT_LE(levels.size(), 9U);
}

TEST_F(RecorderDesktopTest, NoSoundServerFailsWithCode20)
{
    const ScopedEnvironment server("PULSE_SERVER", QStringLiteral("unix:/nonexistent/pulse/native"));
    const Result<Done> started = recorder.start();
    ASSERT_FALSE(started.ok());
    EXPECT_EQ(started.error().code(), 20);
    EXPECT_EQ(started.error().description(), QStringLiteral("нет входного аудиоустройства"));
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_TRUE(appLog().contains(QStringLiteral("Микрофон недоступен: "))) << appLog().toStdString();
}

TEST_F(RecorderDesktopTest, SoundServerThatNeverAnswersDoesNotHangTheStart)
{
    const QString socket = TestEnvironment::makeDirectory(QStringLiteral("mute")) + QStringLiteral("/native");
    QLocalServer mute;
    ASSERT_TRUE(mute.listen(socket));
    const ScopedEnvironment server("PULSE_SERVER", QStringLiteral("unix:") + socket);
    QElapsedTimer elapsed;
    elapsed.start();
    const Result<Done> started = recorder.start();
    const qint64 ms = elapsed.elapsed();
    ASSERT_FALSE(started.ok());
    EXPECT_EQ(started.error().code(), 20);
    // Without a deadline of its own the start would wait for the server for ever.
    RecordProperty("startMilliseconds", static_cast<int>(ms));
}

TEST_F(RecorderDesktopTest, SoundServerDyingEndsTheRecordingWithWhatWasCaptured)
{
    const QString base = TestEnvironment::makeDirectory(QStringLiteral("private-pulse"));
    QDir().mkpath(base + QStringLiteral("/runtime"));
    QFile::setPermissions(base + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile config(base + QStringLiteral("/tone.pa"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("load-module module-native-protocol-unix auth-anonymous=1\n"
                 "load-module module-sine-source source_name=tone rate=16000 frequency=440\n"
                 "set-default-source tone\n");
    config.close();
    QProcess pulse;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), base + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("HOME"), base);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("PULSE_SERVER"));
    pulse.setProcessEnvironment(environment);
    pulse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pulse.start(QStringLiteral("pulseaudio"),
                {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                 QStringLiteral("--system=false"), QStringLiteral("-n"), QStringLiteral("-F"), config.fileName(),
                 QStringLiteral("--realtime=no"), QStringLiteral("--high-priority=no"),
                 QStringLiteral("--enable-memfd=no"), QStringLiteral("--log-target=stderr"),
                 QStringLiteral("--log-level=error")});
    ASSERT_TRUE(pulse.waitForStarted(5000));
    const QString socket = base + QStringLiteral("/runtime/pulse/native");
    const ScopedEnvironment server("PULSE_SERVER", QStringLiteral("unix:") + socket);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return DesktopSession::run(QStringLiteral("pactl"), {QStringLiteral("info")}, nullptr, 2000) == 0; },
        10000));

    int autoStops = 0;
    recorder.onAutoStop = [&] { ++autoStops; };
    ASSERT_TRUE(recorder.start().ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.voicedAccumMs() > 400.0; }, 10000));
    pulse.kill();
    pulse.waitForFinished(3000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return autoStops == 1; }, 3000)) << "the owner is told to finish";
    const std::vector<std::int16_t> samples = recorder.stop();
    EXPECT_GT(samples.size(), 16000U * 4 / 10) << "what was captured before is kept";
    EXPECT_GT(recorder.voicedAccumMs(), 400.0);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Запись прервана: "))) << appLog().toStdString();
    QTest::qWait(200);
    EXPECT_EQ(autoStops, 1);
}

TEST_F(RecorderDesktopTest, SoundsPlayOnTheSoundServerOnlyWhenSwitchedOn)
{
    // The microphone is the monitor of the default output, so what we play is what we record.
    SettingsStore::shared().setBool(SettingsKey::sounds, false);
    ASSERT_TRUE(recorder.start().ok());
    QTest::qWait(200);
    Sounds::play(Sounds::Sound::basso);
    QTest::qWait(900);
    recorder.stop();
    EXPECT_EQ(recorder.voicedAccumMs(), 0.0);

    SettingsStore::shared().setBool(SettingsKey::sounds, true);
    for (const Sounds::Sound sound : {Sounds::Sound::tink, Sounds::Sound::pop, Sounds::Sound::basso}) {
        ASSERT_TRUE(recorder.start().ok());
        QTest::qWait(200);
        Sounds::play(sound);
        QTest::qWait(900);
        const std::vector<std::int16_t> samples = recorder.stop();
        EXPECT_GT(recorder.voicedAccumMs(), 0.0) << Sounds::file(sound).toStdString();
        EXPECT_GT(peak(samples), 3000);
    }
}
