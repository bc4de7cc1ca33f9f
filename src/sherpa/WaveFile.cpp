#include "WaveFile.h"

#include <QFile>
#include <QtEndian>

namespace WaveFile
{

namespace
{

// Longer recordings than this are no dictation: three hours at 16 kHz.
constexpr qint64 largestFileBytes = qint64(3) * 3600 * 16000 * 2 + 4096;
constexpr qsizetype chunkHeaderBytes = 8;

quint32 word(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 halfWord(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

std::optional<Samples> failed(QString& problem, const QString& path, const QString& why)
{
    problem = QStringLiteral("не удалось прочитать WAV-файл %1: %2").arg(path, why);
    return std::nullopt;
}

} // namespace

std::optional<Samples> read(const QString& path, QString& problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(problem, path, file.errorString());
    if (file.size() > largestFileBytes)
        return failed(problem, path, QStringLiteral("слишком длинная запись"));
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return failed(problem, path, QStringLiteral("это не WAV"));
    std::optional<int32_t> sampleRate;
    for (qsizetype at = 12; at + chunkHeaderBytes <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = word(bytes, at + 4);
        const qsizetype body = at + chunkHeaderBytes;
        if (size > bytes.size() - body)
            return failed(problem, path, QStringLiteral("часть «%1» длиннее файла").arg(QString::fromLatin1(id)));
        if (id == "fmt ") {
            if (size < 16 || halfWord(bytes, body) != 1 || halfWord(bytes, body + 2) != 1 ||
                halfWord(bytes, body + 14) != 16 || word(bytes, body + 4) == 0 || word(bytes, body + 4) > 384000)
                return failed(problem, path, QStringLiteral("нужен PCM, 16 бит, один канал"));
            sampleRate = static_cast<int32_t>(word(bytes, body + 4));
        } else if (id == "data") {
            if (!sampleRate)
                return failed(problem, path, QStringLiteral("нет описания формата перед данными"));
            Samples samples{*sampleRate, std::vector<float>(static_cast<size_t>(size / 2))};
            for (size_t index = 0; index < samples.values.size(); ++index)
                samples.values[index] =
                    static_cast<float>(qFromLittleEndian<qint16>(bytes.constData() + body + 2 * qsizetype(index))) /
                    32768.0F;
            return samples;
        }
        at = body + size + (size & 1);
    }
    return failed(problem, path, QStringLiteral("нет данных"));
}

} // namespace WaveFile
