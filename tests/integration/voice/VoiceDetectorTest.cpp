#include "voice/VoiceDetector.h"

#include "core/Resources.h"
#include "recording/ChunkCutter.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"
#include "voice/SoundLevel.h"

#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace
{

using Samples = std::vector<std::int16_t>;

constexpr std::size_t pauseSamples = 1200 * 16;
constexpr std::size_t block = 1365;

// Six sentences of three seconds or more, each followed by a pause of 1.2 s.
const char* const sentences[] = {
    "Сегодня утром я долго шёл на работу через большой и красивый городской парк.",
    "В парке было много людей, которые гуляли с детьми и собаками по дорожкам.",
    "Потом я сел в автобус и поехал дальше, глядя в окно на серые дома.",
    "На работе меня ждали коллеги, потому что у нас было важное совещание.",
    "Мы обсуждали новый проект почти два часа и решили начать его в понедельник.",
    "Вечером я вернулся домой, приготовил ужин и долго читал интересную книгу.",
};

Samples rawSamples(const QString& program, const QStringList& arguments, const QString& raw)
{
    const ProcessOutput made = runProgram(program, arguments);
    EXPECT_EQ(made.exitCode, 0) << made.err().toStdString();
    const QByteArray bytes = TestFiles::read(raw);
    Samples samples(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

// 16 kHz mono 16-bit samples of sox's output with `effects`, from `input` (or from nothing: "-n").
Samples sox(const QString& input, const QStringList& effects)
{
    const QString raw = TestEnvironment::makeDirectory(QStringLiteral("sound")) + QStringLiteral("/out.raw");
    QStringList arguments{input, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer", "-t", "raw", raw};
    return rawSamples(QStringLiteral("sox"), arguments + effects, raw);
}

Samples spoken(const QString& sentence)
{
    const QString wav = TestEnvironment::makeDirectory(QStringLiteral("speech")) + QStringLiteral("/sentence.wav");
    const ProcessOutput made = runProgram(QStringLiteral("espeak-ng"), {"-v", "ru", "-w", wav, sentence});
    EXPECT_EQ(made.exitCode, 0) << made.err().toStdString();
    return sox(wav, {});
}

// The six sentences and their pauses; the pauses are digital silence.
Samples dictation()
{
    Samples all;
    for (const char* sentence : sentences) {
        const Samples speech = spoken(QString::fromUtf8(sentence));
        all.insert(all.end(), speech.begin(), speech.end());
        all.insert(all.end(), pauseSamples, 0);
    }
    return all;
}

double rms(const Samples& samples)
{
    double sum = 0;
    std::size_t counted = 0;
    for (const std::int16_t sample : samples) {
        if (sample != 0) {
            sum += double(sample) * double(sample);
            ++counted;
        }
    }
    return counted ? std::sqrt(sum / double(counted)) : 0;
}

Samples pinkNoise(std::size_t count, double level)
{
    Samples noise = sox(QStringLiteral("-n"), {"synth", QString::number(double(count) / 16000.0 + 1), "pinknoise"});
    noise.resize(count);
    const double scale = level / rms(noise);
    for (std::int16_t& sample : noise)
        sample = static_cast<std::int16_t>(std::lround(sample * scale));
    return noise;
}

// The speech with pink noise `decibels` under its level (over the sounding samples) mixed in.
Samples withNoise(const Samples& speech, double decibels)
{
    const Samples noise = pinkNoise(speech.size(), rms(speech) / std::pow(10.0, decibels / 20.0));
    Samples mixed(speech.size());
    for (std::size_t index = 0; index < speech.size(); ++index)
        mixed[index] = static_cast<std::int16_t>(std::clamp(speech[index] + noise[index], -32768, 32767));
    return mixed;
}

Samples scaled(const Samples& samples, double factor)
{
    Samples quieter(samples.size());
    for (std::size_t index = 0; index < samples.size(); ++index)
        quieter[index] = static_cast<std::int16_t>(std::lround(samples[index] * factor));
    return quieter;
}

// Milliseconds of `samples` judged speech, block by block as the recorder judges them.
double speechMs(const Samples& samples)
{
    VoiceStream stream = VoiceDetector::shared().stream();
    double ms = 0;
    for (std::size_t start = 0; start < samples.size(); start += block) {
        const std::span<const std::int16_t> piece(samples.data() + start, std::min(block, samples.size() - start));
        if (stream.isSpeech(piece))
            ms += double(piece.size()) / 16.0;
    }
    return ms;
}

class VoiceDetectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(Resources::sherpaLibrary()) || !QFileInfo::exists(Resources::voiceModel()))
            GTEST_SKIP() << "the sherpa-onnx library or the voice detector's model is missing "
                         << "(scripts/fetch-sherpa-onnx.sh and scripts/fetch-silero-vad.sh BUILD_TREE)";
    }
};

} // namespace

// The six sentences are cut at each of their pauses whether spoken in a quiet room, over pink noise 12 dB under the
// voice (above the loudness rule's level) or at a quarter of the level; 6 s of that noise alone holds no speech, and
// a recording of it would be dropped as silence.
TEST_F(VoiceDetectorTest, FindsThePausesInNoiseAndOfAQuietSpeakerAndNoSpeechInNoiseAlone)
{
    ASSERT_FALSE(VoiceDetector::shared().problem()) << VoiceDetector::shared().problem()->toStdString();
    const Samples quiet = dictation();
    const std::pair<const char*, Samples> cases[] = {
        {"quiet room", quiet},
        {"pink noise 12 dB under the voice", withNoise(quiet, 12)},
        {"a quarter of the level", scaled(quiet, 0.25)},
    };
    for (const auto& [what, samples] : cases) {
        const std::vector<ChunkCutter::Piece> pieces = ChunkCutter::pieces(samples);
        EXPECT_EQ(pieces.size(), std::size(sentences)) << what;
        // The speech itself is heard: most of each sentence, not only its loudest syllables.
        EXPECT_GT(speechMs(samples), 0.7 * double(samples.size() - std::size(sentences) * pauseSamples) / 16.0) << what;
    }

    const Samples noiseAlone = pinkNoise(6 * 16000, rms(quiet) / std::pow(10.0, 12.0 / 20.0));
    ASSERT_GT(SoundLevel::rms(noiseAlone), SoundLevel::voiceThreshold) << "the noise must beat the loudness rule";
    EXPECT_LT(speechMs(noiseAlone), 250.0);
    EXPECT_TRUE(ChunkCutter::pieces(noiseAlone).empty());
}

// Without its model the detector says why, once, and every stream judges by loudness: the pauses of a quiet room are
// still found, and loud noise counts as voice as it always did. The app's detector loads once per process, so this
// case needs a process of its own, as ctest gives each. Asked before it has been loaded, it says nothing rather
// than making the asker wait; the app's start loads it in the background.
TEST_F(VoiceDetectorTest, WithoutTheModelFileStreamsFallBackToTheLoudnessRule)
{
    qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
    EXPECT_FALSE(VoiceDetector::shared().problem());
    VoiceDetector::shared().warmUp();
    ASSERT_TRUE(QTest::qWaitFor([] { return VoiceDetector::shared().problem().has_value(); }, 10000));
    const std::optional<QString> problem = VoiceDetector::shared().problem();
    EXPECT_TRUE(problem->contains(QStringLiteral("/nonexistent/silero_vad.onnx"))) << problem->toStdString();
    EXPECT_FALSE(VoiceDetector::shared().stream().usesModel());
    EXPECT_EQ(TestEnvironment::appLog().count(QStringLiteral("Детектор речи недоступен")), 1);

    const Samples quiet = dictation();
    EXPECT_EQ(ChunkCutter::pieces(quiet).size(), std::size(sentences));
    const Samples noiseAlone = pinkNoise(6 * 16000, 0.05 * 32768);
    EXPECT_GT(speechMs(noiseAlone), 5000.0);
    EXPECT_EQ(TestEnvironment::appLog().count(QStringLiteral("Детектор речи недоступен")), 1);
}
