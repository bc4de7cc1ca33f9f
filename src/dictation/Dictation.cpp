#include "dictation/Dictation.h"

#include "audio/WavWriter.h"
#include "core/Log.h"
#include "recording/AudioRecorder.h"

std::optional<QString> Dictation::rejection(const QByteArray& wav, double voicedMs)
{
    const auto sampleCount = static_cast<std::size_t>(wav.size() - WavWriter::headerSize) / 2;
    if (sampleCount <= minimumSamples) {
        Log::info(
            QStringLiteral("Запись отброшена: слишком коротко (%1 мс)").arg(static_cast<qint64>(sampleCount / 16)));
        return QStringLiteral("Слишком коротко");
    }
    if (voicedMs < minimumVoicedMs) {
        Log::info(QStringLiteral("Запись отброшена: звука %1 мс из %2 мс")
                      .arg(static_cast<qint64>(voicedMs))
                      .arg(static_cast<qint64>(sampleCount / 16)));
        return QStringLiteral("Похоже, тишина");
    }
    return std::nullopt;
}

void Dictation::blockRecorded(const AudioRecorder& recorder, std::size_t endSample, bool voiced)
{
    if (!pieces || !pieces->accepting())
        return;
    std::optional<std::size_t> cut = cutter.addBlock(endSample, voiced);
    if (!cut && cutter.needsForcedCut(endSample))
        cut = cutter.forcedCut(recorder.samples(cutter.lastCut(), endSample));
    if (!cut)
        return;
    if (cutter.heardSpeech()) {
        pieceCuts[*cut] = std::chrono::steady_clock::now();
        pieces->add(WavWriter::data(recorder.samples(cutter.lastCut(), *cut), AudioRecorder::sampleRate),
                    cutter.lastCut());
    }
    cutter.cutAt(*cut);
}
