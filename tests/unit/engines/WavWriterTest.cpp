#include "engines/WavWriter.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <vector>

namespace
{

uint32_t u32At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<uint32_t>(bytes.constData() + offset);
}

uint16_t u16At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<uint16_t>(bytes.constData() + offset);
}

} // namespace

TEST(WavWriter, EmptyRecordingIsAHeaderOnly)
{
    const QByteArray bytes = WavWriter::data({}, 16000);
    ASSERT_EQ(bytes.size(), 44);
    EXPECT_EQ(bytes.left(4), "RIFF");
    EXPECT_EQ(u32At(bytes, 4), 36u);
    EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32At(bytes, 16), 16u);
    EXPECT_EQ(u16At(bytes, 20), 1u);
    EXPECT_EQ(u16At(bytes, 22), 1u);
    EXPECT_EQ(u16At(bytes, 32), 2u);
    EXPECT_EQ(u16At(bytes, 34), 16u);
    EXPECT_EQ(bytes.mid(36, 4), "data");
    EXPECT_EQ(u32At(bytes, 40), 0u);
}

TEST(WavWriter, OneSecondOfSilence)
{
    const std::vector<int16_t> samples(16000, 0);
    const QByteArray bytes = WavWriter::data(samples, 16000);
    ASSERT_EQ(bytes.size(), 32044);
    EXPECT_EQ(u32At(bytes, 4), 32036u);
    EXPECT_EQ(u32At(bytes, 24), 16000u);
    EXPECT_EQ(u32At(bytes, 28), 32000u);
    EXPECT_EQ(u32At(bytes, 40), 32000u);
    EXPECT_EQ(bytes.mid(44), QByteArray(32000, '\0'));
}

TEST(WavWriter, SamplesAreLittleEndianInOrder)
{
    const std::vector<int16_t> samples{-1, 256, 32767, -32768};
    const QByteArray bytes = WavWriter::data(samples, 22050);
    EXPECT_EQ(bytes.mid(44), QByteArray::fromHex("ffff0001ff7f0080"));
    EXPECT_EQ(u32At(bytes, 24), 22050u);
    EXPECT_EQ(u32At(bytes, 28), 44100u);
}

TEST(WavWriter, HeaderEqualsTheOneSoxWritesForOneSecondAt16kHz)
{
    QFile recorded(TestEnvironment::fixture(QStringLiteral("whisper-server/silence_1s.wav")));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const std::vector<int16_t> samples(16000, 0);
    EXPECT_EQ(WavWriter::data(samples, 16000).left(44), recorded.read(44));
}
