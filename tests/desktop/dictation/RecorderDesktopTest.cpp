#include "DesktopSession.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "dictation/AudioRecorder.h"
#include "dictation/Sounds.h"
#include "platform/AudioSources.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace
{

class RecorderDesktopTest : public DesktopTest
{
protected:
    AudioRecorder recorder;
    // The rig's sound server, for the tests that point the recorder elsewhere.
    const QByteArray rigServer = qgetenv("PULSE_SERVER");
    void TearDown() override { qputenv("PULSE_SERVER", rigServer); }
};

int peak(const std::vector<std::int16_t>& samples)
{
    int result = 0;
    for (const std::int16_t sample : samples)
        result = std::max(result, std::abs(int(sample)));
    return result;
}

// A sound server of the test's own with the modules given, which PULSE_SERVER then names.
bool startPrivateSoundServer(QProcess& pulse, const QByteArray& modules)
{
    const QString base = TestEnvironment::makeDirectory(QStringLiteral("private-pulse"));
    QDir().mkpath(base + QStringLiteral("/runtime"));
    QFile::setPermissions(base + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile config(base + QStringLiteral("/server.pa"));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write("load-module module-native-protocol-unix auth-anonymous=1\n" + modules);
    config.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), base + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("HOME"), base);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("PULSE_SERVER"));
    pulse.setProcessEnvironment(environment);
    pulse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pulse.start("pulseaudio", {"--daemonize=no", "--exit-idle-time=-1", "--system=false", "-n", "-F", config.fileName(),
                               "--realtime=no", "--high-priority=no", "--enable-memfd=no", "--log-target=stderr",
                               "--log-level=error"});
    if (!pulse.waitForStarted(5000))
        return false;
    qputenv("PULSE_SERVER", "unix:" + base.toUtf8() + "/runtime/pulse/native");
    return QTest::qWaitFor([&] { return DesktopSession::run("pactl", {"info"}, nullptr, 2000) == 0; }, 10000);
}

QString appLog()
{
    QFile file(Paths::logDir() + QStringLiteral("/app.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST_F(RecorderDesktopTest, SpokenSentenceIsRecordedAt16kHzWithItsVoicedLength)
{
    const QString speech = TestEnvironment::makeDirectory(QStringLiteral("speech")) + QStringLiteral("/phrase.wav");
    ASSERT_EQ(DesktopSession::run("espeak-ng",
                                  {"-v", "ru", "-w", speech, "Привет, это проверка диктовки. Сегодня хорошая погода."}),
              0);
    // Seconds of sound in the 16-bit PCM WAV file.
    QFile wav(speech);
    ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
    const QByteArray bytes = wav.readAll();
    const double sentence = double(bytes.size() - 44) / qFromLittleEndian<quint32>(bytes.constData() + 28);
    ASSERT_GT(sentence, 2.0);

    QElapsedTimer wall, sinceFirstBlock;
    recorder.onLevel = [&](float) {
        if (!sinceFirstBlock.isValid())
            sinceFirstBlock.start();
    };
    wall.start();
    ASSERT_TRUE(recorder.start().ok());
    // The virtual microphone may take a moment to deliver its first block on a busy machine.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFirstBlock.isValid(); }, 5000));
    QTest::qWait(200);
    ASSERT_EQ(DesktopSession::run("paplay", {"--device=vmic_sink", speech}), 0);
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

TEST_F(RecorderDesktopTest, SilenceHasAlmostNoVoicedTimeAndLevelsArriveAboutEvery85Ms)
{
    std::size_t levels = 0;
    recorder.onLevel = [&](float) { ++levels; };
    ASSERT_TRUE(recorder.start().ok());
    QTest::qWait(600);
    EXPECT_GE(levels, 4U);
    EXPECT_LE(levels, 9U);
    QTest::qWait(900);
    EXPECT_GT(recorder.stop().size(), 16000U);
    EXPECT_LT(recorder.voicedAccumMs(), 250.0);
}

TEST_F(RecorderDesktopTest, SoundServerThatNeverAnswersDoesNotHangTheStart)
{
    const QString socket = TestEnvironment::makeDirectory(QStringLiteral("mute")) + QStringLiteral("/native");
    QLocalServer mute;
    ASSERT_TRUE(mute.listen(socket));
    qputenv("PULSE_SERVER", (QStringLiteral("unix:") + socket).toUtf8());
    std::optional<Error> failure;
    recorder.onStartFailed = [&](const Error& error) { failure = error; };
    QElapsedTimer elapsed;
    elapsed.start();
    // The start never waits for the server: it ends the recording later, when the server stays silent.
    ASSERT_TRUE(recorder.start().ok());
    RecordProperty("startMilliseconds", static_cast<int>(elapsed.elapsed()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return failure.has_value(); }, 5000));
    RecordProperty("failureMilliseconds", static_cast<int>(elapsed.elapsed()));
    EXPECT_EQ(failure->code(), 20);
    EXPECT_FALSE(recorder.isRunning());
}

TEST_F(RecorderDesktopTest, SoundServerDyingEndsTheRecordingWithWhatWasCaptured)
{
    QProcess pulse;
    ASSERT_TRUE(startPrivateSoundServer(pulse,
                                        "load-module module-sine-source source_name=tone rate=16000 frequency=440\n"
                                        "set-default-source tone\n"));

    int autoStops = 0;
    recorder.onAutoStop = [&] { ++autoStops; };
    ASSERT_TRUE(recorder.start().ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.voicedAccumMs() > 400.0; }, 10000));
    pulse.kill();
    pulse.waitForFinished(3000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return autoStops == 1; }, 3000)) << "the owner is told to finish";
    EXPECT_GT(recorder.stop().size(), 16000U * 4 / 10) << "what was captured before is kept";
    EXPECT_GT(recorder.voicedAccumMs(), 400.0);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Запись прервана: "))) << appLog().toStdString();
    QTest::qWait(200);
    EXPECT_EQ(autoStops, 1);
}

TEST_F(RecorderDesktopTest, SoundsPlayOnTheSoundServerOnlyWhenSwitchedOn)
{
    // The microphone is the monitor of the default output, so what we play is what we record.
    using enum Sounds::Sound;
    for (const auto& [on, sound] : {std::pair{false, basso}, {true, tink}, {true, pop}, {true, basso}}) {
        SCOPED_TRACE(Sounds::file(sound).toStdString() + (on ? " on" : " off"));
        SettingsStore::shared().setBool(SettingsKey::sounds, on);
        ASSERT_TRUE(recorder.start().ok());
        QTest::qWait(200);
        Sounds::play(sound);
        QTest::qWait(900);
        const std::vector<std::int16_t> samples = recorder.stop();
        if (on) {
            EXPECT_GT(recorder.voicedAccumMs(), 0.0);
            EXPECT_GT(peak(samples), 3000);
        } else {
            EXPECT_EQ(recorder.voicedAccumMs(), 0.0);
        }
    }
}

TEST_F(RecorderDesktopTest, TheChosenMicrophoneIsListedAndRecordedAndAGoneOneFallsBackToTheDefault)
{
    QProcess pulse;
    ASSERT_TRUE(startPrivateSoundServer(pulse, "load-module module-null-sink sink_name=speakers\n"
                                               "load-module module-sine-source source_name=builtin frequency=200\n"
                                               "load-module module-sine-source source_name=usb frequency=1000\n"
                                               "set-default-source builtin\n"));
    // The output's monitor is no microphone.
    const std::vector<AudioSource> sources = AudioSources::list();
    ASSERT_EQ(sources.size(), 2U);
    EXPECT_EQ(sources[0].name, QStringLiteral("builtin"));
    EXPECT_EQ(sources[1].name, QStringLiteral("usb"));
    EXPECT_TRUE(sources[1].description.contains(QStringLiteral("1000"))) << sources[1].description.toStdString();

    // The tone's frequency tells which source was recorded.
    const auto frequencyWith = [&](const QString& device) {
        SettingsStore::shared().setString(SettingsKey::inputDevice, device);
        EXPECT_TRUE(recorder.start().ok());
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.voicedAccumMs() > 1000.0; }, 10000));
        const std::vector<std::int16_t> samples = recorder.stop();
        std::size_t signChanges = 0;
        for (std::size_t index = 1; index < samples.size(); ++index)
            signChanges += (samples[index - 1] < 0) != (samples[index] < 0);
        return signChanges / 2.0 / (samples.size() / 16000.0);
    };
    EXPECT_NEAR(frequencyWith(QStringLiteral("usb")), 1000, 100);
    EXPECT_NEAR(frequencyWith(QStringLiteral("alsa_input.usb-unplugged")), 200, 40);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Микрофон «alsa_input.usb-unplugged» недоступен (")))
        << appLog().toStdString();
    pulse.kill();
    pulse.waitForFinished(3000);
    EXPECT_TRUE(AudioSources::list().empty()) << "no server, no sources";
}
