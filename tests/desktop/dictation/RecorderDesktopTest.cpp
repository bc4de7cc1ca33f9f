#include "DesktopRig.h"
#include "core/SettingsStore.h"
#include "dictation/Sounds.h"
#include "platform/AudioSources.h"
#include "recording/AudioRecorder.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QFile>

namespace
{

class RecorderDesktopTest : public DesktopTest
{
protected:
    AudioRecorder recorder;
    // The rig's sound server, for the tests that point the recorder elsewhere.
    const QByteArray rigServer = qgetenv("PULSE_SERVER");
    void SetUp() override
    {
        DesktopTest::SetUp();
        // Its sounds and tones are voice to the loudness rule only: the recorder's way to the sound server is tested
        // here, the voice detector on speech elsewhere.
        qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
    }
    void TearDown() override { qputenv("PULSE_SERVER", rigServer); }
};

} // namespace

TEST_F(RecorderDesktopTest, SoundsPlayOnlyWhenSwitchedOnTheChosenMicrophoneIsRecordedAndADyingServerEndsTheRecording)
{
    // The microphone is the monitor of the default output, so what we play is what we record.
    using enum Sounds::Sound;
    for (const auto& [on, sound] : {std::pair{false, basso}, {true, tink}, {true, pop}, {true, basso}}) {
        SettingsStore::shared().setBool(SettingsKey::sounds, on);
        ASSERT_TRUE(recorder.start().ok());
        // The microphone runs before the sound plays, and records a second of what follows, long enough for
        // every sound.
        ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.sampleCount() > 0; }, 5000));
        const std::size_t playedAt = recorder.sampleCount();
        Sounds::play(sound);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return recorder.sampleCount() >= playedAt + AudioRecorder::sampleRate; }, 10000));
        recorder.stop();
        EXPECT_EQ(recorder.voicedAccumMs() > 0.0, on) << Sounds::file(sound).toStdString() << (on ? " on" : " off");
    }

    // A sound server of the test's own, which PULSE_SERVER then names.
    const QString base = TestEnvironment::makeDirectory(QStringLiteral("private-pulse"));
    QDir().mkpath(base + QStringLiteral("/runtime"));
    QFile::setPermissions(base + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString config = TestFiles::write(base + QStringLiteral("/server.pa"),
                                            "load-module module-native-protocol-unix auth-anonymous=1\n"
                                            "load-module module-null-sink sink_name=speakers\n"
                                            "load-module module-sine-source source_name=builtin frequency=200\n"
                                            "load-module module-sine-source source_name=usb frequency=1000\n"
                                            "set-default-source builtin\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), base + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("HOME"), base);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("PULSE_SERVER"));
    QProcess pulse;
    pulse.setProcessEnvironment(environment);
    pulse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pulse.start("pulseaudio",
                {"--daemonize=no", "--exit-idle-time=-1", "--system=false", "-n", "-F", config, "--realtime=no",
                 "--high-priority=no", "--enable-memfd=no", "--log-target=stderr", "--log-level=error"});
    ASSERT_TRUE(pulse.waitForStarted(5000));
    qputenv("PULSE_SERVER", "unix:" + base.toUtf8() + "/runtime/pulse/native");
    ASSERT_TRUE(QTest::qWaitFor([&] { return DesktopRig::run("pactl", {"info"}, nullptr, 2000) == 0; }, 10000));
    // The output's monitor is no microphone.
    const std::vector<AudioSource> sources = AudioSources::list();
    ASSERT_EQ(sources.size(), 2U);
    EXPECT_EQ(sources[0].name, QStringLiteral("builtin"));
    EXPECT_EQ(sources[1].name, QStringLiteral("usb"));
    EXPECT_TRUE(sources[1].description.contains(QStringLiteral("1000"))) << sources[1].description.toStdString();

    // The tone's frequency tells which source was recorded, and that it was recorded at 16 kHz.
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
    EXPECT_TRUE(DesktopRig::appLog().contains(QStringLiteral("Микрофон «alsa_input.usb-unplugged» недоступен (")))
        << DesktopRig::appLog().toStdString();

    // The sound server dying ends the recording with what was captured.
    int autoStops = 0;
    recorder.onAutoStop = [&] { ++autoStops; };
    SettingsStore::shared().setString(SettingsKey::inputDevice, QString());
    ASSERT_TRUE(recorder.start().ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.voicedAccumMs() > 400.0; }, 10000));
    pulse.kill();
    pulse.waitForFinished(3000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return autoStops == 1; }, 3000)) << "the owner is told to finish";
    EXPECT_GT(recorder.stop().size(), 16000U * 4 / 10) << "what was captured before is kept";
    EXPECT_TRUE(DesktopRig::appLog().contains(QStringLiteral("Запись прервана: ")))
        << DesktopRig::appLog().toStdString();
    EXPECT_TRUE(AudioSources::list().empty()) << "no server, no sources";
}
