// whisper-server's answer: the whole-answer rules and the segment decoding behind them, and the segment-list
// JSON the command line reads and writes.
#include "FuzzSupport.h"
#include "engines/WhisperServer.h"
#include "model/Segments.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace
{

void checkSegments(const std::vector<SpeechSegment>& segments, const QByteArray& body)
{
    for (const SpeechSegment& segment : segments) {
        Fuzz::require(!segment.text.isEmpty(), "a segment has text", QString::fromUtf8(body));
        Fuzz::require(segment.startMs >= 0 && segment.endMs >= segment.startMs, "a segment ends after it starts",
                      QString::fromUtf8(body));
    }
}

// The list JSON of the segments reads back as the same segments.
void checkListRoundTrip(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isArray())
        return;
    std::vector<SpeechSegment> read;
    for (const QJsonValue& element : document.array()) {
        if (const auto segment =
                Segments::fromListElement(element.toObject(), [](const QString& text) { return text; }))
            read.push_back(*segment);
    }
    const QJsonDocument written = QJsonDocument::fromJson(Segments::toListJson(read));
    Fuzz::require(written.isArray(), "the segment list is JSON", QString::fromUtf8(body));
    std::vector<SpeechSegment> again;
    for (const QJsonValue& element : written.array()) {
        if (const auto segment =
                Segments::fromListElement(element.toObject(), [](const QString& text) { return text; }))
            again.push_back(*segment);
    }
    Fuzz::require(again == read, "the segment list reads back unchanged", QString::fromUtf8(body));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = Fuzz::bytes(data, size);
    const Result<TranscriptionResult> answer = WhisperServer::interpretAnswer(200, body);
    if (answer)
        checkSegments(answer.value().segments, body);
    else
        Fuzz::require(answer.error().isTolvan(), "a bad answer is the engine's own error", QString::fromUtf8(body));
    const Result<TranscriptionResult> failed = WhisperServer::interpretAnswer(500, body);
    Fuzz::require(!failed.ok(), "an error status is a failure", QString::fromUtf8(body));
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject())
        checkSegments(Segments::parseSegments(document.object()), body);
    checkListRoundTrip(body);
    return 0;
}
