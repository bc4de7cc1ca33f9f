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

} // namespace

TEST(WavWriter, HeaderEqualsTheOneSoxWritesForOneSecondAt16kHz)
{
    QFile recorded(TestEnvironment::fixture(QStringLiteral("whisper-server/silence_1s.wav")));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QByteArray bytes = WavWriter::data(std::vector<int16_t>(16000, 0), 16000);
    EXPECT_EQ(bytes.left(44), recorded.read(44));
    ASSERT_EQ(bytes.size(), 32044);
    EXPECT_EQ(bytes.mid(44), QByteArray(32000, '\0'));
}

TEST(WavWriter, SizesAndRateFollowTheSamples)
{
    const QByteArray empty = WavWriter::data({}, 16000);
    ASSERT_EQ(empty.size(), 44);
    EXPECT_EQ(u32At(empty, 4), 36u);
    EXPECT_EQ(u32At(empty, 40), 0u);

    const std::vector<int16_t> samples{-1, 256, 32767, -32768};
    const QByteArray bytes = WavWriter::data(samples, 22050);
    EXPECT_EQ(bytes.mid(44), QByteArray::fromHex("ffff0001ff7f0080"));
    EXPECT_EQ(u32At(bytes, 4), 44u);
    EXPECT_EQ(u32At(bytes, 24), 22050u);
    EXPECT_EQ(u32At(bytes, 28), 44100u);
    EXPECT_EQ(u32At(bytes, 40), 8u);
}
