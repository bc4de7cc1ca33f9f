// The voice detector in the rooms people dictate in, measured under tests/desktop/with-desktop.sh with the fake
// whisper-server (0.3 s of recognition per second of audio): six Russian sentences of espeak-ng, each followed by a
// 1.2 s pause, played into the rig's microphone in a quiet room, over pink noise 12 dB under the voice, and at a
// quarter of the level, then 6 s of that noise alone. For each: the pieces cut while recording (2 s after the sound
// ends), the requests the recognizer got, and the time from Enter to the text. Also the detector's CPU time per
// second of audio and the time it takes to load. `--loudness` runs the same without the model (the loudness rule).
// Prints its figures; asserts nothing.
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "dictation/DictationController.h"
#include "engines/ModelCatalog.h"
#include "voice/SoundLevel.h"
#include "voice/VoiceDetector.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

const char* const sentences[] = {
    "Сегодня утром я долго шёл на работу через большой и красивый городской парк.",
    "В парке было много людей, которые гуляли с детьми и собаками по дорожкам.",
    "Потом я сел в автобус и поехал дальше, глядя в окно на серые дома.",
    "На работе меня ждали коллеги, потому что у нас было важное совещание.",
    "Мы обсуждали новый проект почти два часа и решили начать его в понедельник.",
    "Вечером я вернулся домой, приготовил ужин и долго читал интересную книгу.",
};

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        std::printf("%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

QString soxStatistic(const QString& wav, const char* name)
{
    QProcess process;
    process.start(QStringLiteral("sox"), {wav, "-n", "stat"});
    process.waitForFinished();
    for (const QByteArray& line : process.readAllStandardError().split('\n')) {
        if (line.startsWith(name))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QStringLiteral("0");
}

struct Cases
{
    QString quiet, noisy, quarter, noise;
};

// The four recordings as 16 kHz mono WAV files in `dir`.
Cases makeCases(const QString& dir)
{
    QStringList parts;
    for (int index = 0; index < int(std::size(sentences)); ++index) {
        const QString spoken = dir + QStringLiteral("/spoken-%1.wav").arg(index);
        const QString part = dir + QStringLiteral("/part-%1.wav").arg(index);
        run(QStringLiteral("espeak-ng"), {"-v", "ru", "-w", spoken, QString::fromUtf8(sentences[index])});
        run(QStringLiteral("sox"), {spoken, "-r", "16000", "-c", "1", "-b", "16", part, "pad", "0", "1.2"});
        parts.append(part);
    }
    Cases cases{dir + "/quiet.wav", dir + "/noisy.wav", dir + "/quarter.wav", dir + "/noise.wav"};
    run(QStringLiteral("sox"), parts + QStringList{cases.quiet});
    const QString length = QString::number(soxStatistic(cases.quiet, "Length (seconds)").toDouble() + 0.1);
    const QString pink = dir + "/pink.wav";
    run(QStringLiteral("sox"), {"-n", "-r", "16000", "-c", "1", "-b", "16", pink, "synth", length, "pinknoise"});
    // 12 dB under the voice's RMS over the speech alone (the pauses are digital silence and take about a fifth).
    const double speechRms = soxStatistic(cases.quiet, "RMS     amplitude").toDouble() / std::sqrt(0.78);
    const double gain = speechRms / std::pow(10.0, 12.0 / 20.0) / soxStatistic(pink, "RMS     amplitude").toDouble();
    const QString scaled = dir + "/pink-scaled.wav";
    run(QStringLiteral("sox"), {"-v", QString::number(gain), pink, scaled});
    run(QStringLiteral("sox"), {"-m", cases.quiet, scaled, cases.noisy, "trim", "0", length});
    run(QStringLiteral("sox"), {"-v", "0.25", cases.quiet, cases.quarter});
    run(QStringLiteral("sox"), {scaled, cases.noise, "trim", "0", "6"});
    return cases;
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

std::vector<std::int16_t> samplesOf(const QString& wav)
{
    QFile file(wav);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll().mid(44);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

int requestsIn(const QString& dir)
{
    return int(QDir(dir).entryList({QStringLiteral("request-*.body")}, QDir::Files).size());
}

bool delivered(const QLineEdit& field)
{
    return !field.text().isEmpty() || !SettingsStore::shared().history().isEmpty();
}

} // namespace

int main(int argc, char** argv)
{
    const bool loudness = argc > 1 && QByteArray(argv[1]) == "--loudness";
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(variable)));
    const QString requests = home.path() + QStringLiteral("/requests");
    QDir().mkpath(requests);
    qputenv("TOLVAN_WHISPER_BIN", TOLVAN_FAKE_WHISPER);
    qputenv("FAKE_WHISPER_RECORD_DIR", QFile::encodeName(requests));
    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "300");
    if (loudness)
        qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::puts("needs the rig's display and microphone: run under tests/desktop/with-desktop.sh");
        return 0;
    }
    SettingsStore& settings = SettingsStore::shared();
    settings.setString(SettingsKey::speechQuality, QStringLiteral("off"));
    settings.setBool(SettingsKey::sounds, false);
    settings.setBool(SettingsKey::recognizeWhileRecording, true);
    const RecognitionModel model = ModelCatalog::byID(ModelCatalog::defaultModelID());
    QDir().mkpath(QFileInfo(model.filePath(0)).path());
    QFile modelFile(model.filePath(0));
    modelFile.open(QIODevice::WriteOnly);
    modelFile.resize(ModelCatalog::completeSizeThreshold(model.sizeMB) + 1);
    modelFile.close();

    const Cases cases = makeCases(home.path());
    const double loadStart = processCpuMs();
    QElapsedTimer loading;
    loading.start();
    const std::optional<QString> problem = VoiceDetector::shared().problem();
    std::printf("detector: %s; loaded in %lld ms (%.0f ms CPU)\n",
                problem ? qPrintable(QStringLiteral("loudness rule (") + *problem + u')') : "Silero VAD v5",
                loading.elapsed(), processCpuMs() - loadStart);
    if (!problem) {
        const std::vector<std::int16_t> quiet = samplesOf(cases.quiet);
        const double start = processCpuMs();
        const std::vector<bool> verdicts = VoiceStream::verdicts(quiet, MicrophoneCapture::blockSamples);
        std::printf("detector CPU per second of audio: %.2f ms (%zu blocks)\n",
                    (processCpuMs() - start) / (double(quiet.size()) / 16000.0), verdicts.size());
    }
    std::printf("noise RMS %.4f (the loudness rule's threshold: %.3f)\n",
                soxStatistic(cases.noise, "RMS     amplitude").toDouble(), double(SoundLevel::voiceThreshold));

    QLineEdit field;
    field.resize(600, 40);
    field.show();
    field.activateWindow();
    if (!QTest::qWaitFor([&] { return field.hasFocus() && field.isActiveWindow(); }, 5000))
        std::puts("the field did not get the focus");
    DictationController controller(std::make_unique<AudioRecorder>());
    controller.startServer();
    if (!QTest::qWaitFor([&] { return controller.whisperServer().state().kind == WhisperServer::State::ready; }, 20000))
        std::puts("the server never became ready");
    const std::pair<const char*, QString> runs[] = {{"quiet room", cases.quiet},
                                                    {"pink noise 12 dB under the voice", cases.noisy},
                                                    {"a quarter of the level", cases.quarter},
                                                    {"6 s of noise alone", cases.noise}};
    for (const auto& [what, wav] : runs) {
        field.clear();
        settings.setHistory({});
        const int before = requestsIn(requests);
        controller.begin(DictationController::Source::toggle);
        QTest::qWait(300);
        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), wav});
        if (!QTest::qWaitFor([&] { return player.state() == QProcess::NotRunning; }, 120000))
            std::puts("paplay never ended");
        // The last pause is cut 0.35 s into it; its piece is sent at once.
        QTest::qWait(2000);
        const int whileRecording = requestsIn(requests) - before;
        QElapsedTimer wait;
        wait.start();
        controller.finish();
        const bool arrived = QTest::qWaitFor([&] { return delivered(field); }, 30000);
        if (!QTest::qWaitFor([&] { return controller.phase() == DictationController::Phase::idle; }, 30000))
            std::puts("the dictation never ended");
        std::printf("%-34s pieces while recording %d, requests in all %d, Enter to text %s\n", what, whileRecording,
                    requestsIn(requests) - before,
                    arrived ? qPrintable(QStringLiteral("%1 ms").arg(wait.elapsed())) : "— (nothing pasted)");
        std::fflush(stdout);
    }
    return 0;
}
