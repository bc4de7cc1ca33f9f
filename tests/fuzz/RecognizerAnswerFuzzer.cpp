// What the recognizers answer. whisper-server's answer as it comes over the loopback connection (status line,
// headers, a body by length, by chunks or up to the end of the connection), the answer's rules and the segment
// decoding behind them, and the segment-list JSON the command line reads and writes; the same bytes as
// sherpa-onnx-offline's standard output, the JSON line with GigaAM's text, tokens and timestamps. The seeds
// are whole HTTP answers, bare bodies and sherpa-onnx outputs.
#include "FuzzSupport.h"
#include "children/LocalHttp.h"
#include "engines/GigaAMEngine.h"
#include "engines/WhisperServer.h"
#include "transcript/Segments.h"

#include <QJsonArray>
#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray received(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const Result<TranscriptionResult> gigaam = GigaAMEngine::parseOutput(received)) {
        Fuzz::requireSegments(gigaam.value().segments, received);
        for (const SpeechSegment& segment : gigaam.value().segments)
            Fuzz::require(!segment.text.startsWith(u' ') && !segment.text.endsWith(u' '), "a segment is trimmed",
                          QString::fromUtf8(received));
    }
    const auto open = LocalHttp::parse(received, false);
    const auto closed = LocalHttp::parse(received, true);
    // An answer complete while the connection is open stays the same answer when it closes.
    Fuzz::require(!open || closed == open, "closing does not change a complete answer", QString::fromLatin1(received));
    Fuzz::require(!closed || closed->body.size() <= received.size(), "the body comes from what was received",
                  QString::fromLatin1(received));
    const QByteArray body = closed ? closed->body : received;
    const Result<TranscriptionResult> answer = WhisperServer::interpretAnswer(200, body);
    if (answer)
        Fuzz::requireSegments(answer.value().segments, body);
    else
        Fuzz::require(answer.error().isTolvan(), "a bad answer is the engine's own error", QString::fromUtf8(body));
    Fuzz::require(!WhisperServer::interpretAnswer(500, body).ok(), "an error status is a failure",
                  QString::fromUtf8(body));
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isArray()) {
        // The list JSON of the segments reads back as the same segments.
        const auto readList = [](const QJsonDocument& list) {
            std::vector<SpeechSegment> read;
            for (const QJsonValue& element : list.array()) {
                if (const auto segment =
                        Segments::fromListElement(element.toObject(), [](const QString& t) { return t; }))
                    read.push_back(*segment);
            }
            return read;
        };
        const std::vector<SpeechSegment> read = readList(document);
        const QJsonDocument written = QJsonDocument::fromJson(Segments::toListJson(read));
        Fuzz::require(written.isArray() && readList(written) == read, "the segment list reads back unchanged",
                      QString::fromUtf8(body));
    }
    return 0;
}
