#include "dictation/Sounds.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <set>

TEST(SoundsTest, ThreeShortDistinctPcmWavFilesShipWithTheApplication)
{
    std::set<QByteArray> contents;
    for (const Sounds::Sound sound : {Sounds::Sound::tink, Sounds::Sound::pop, Sounds::Sound::basso}) {
        QFile file(Sounds::file(sound));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QByteArray bytes = file.readAll();
        ASSERT_GT(bytes.size(), 44);
        EXPECT_TRUE(bytes.startsWith("RIFF") && bytes.mid(8, 8) == "WAVEfmt ");
        EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 20), 1) << "PCM";
        EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 34), 16) << "16-bit";
        const double seconds = double(bytes.size() - 44) / qFromLittleEndian<quint32>(bytes.constData() + 28);
        EXPECT_GT(seconds, 0.03);
        EXPECT_LT(seconds, 0.5) << "a signal, not a melody";
        contents.insert(bytes);
    }
    EXPECT_EQ(contents.size(), 3U);
}
