#include "transcript/Segments.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace
{

// Nothing for a value that is not a number.
std::optional<int64_t> timeOf(const QJsonValue& value, double scale)
{
    if (!value.isDouble())
        return std::nullopt;
    return Segments::scaledTime(value.toDouble(), scale);
}

struct Times
{
    int64_t startMs = -1;
    int64_t endMs = -1;
};

// Seconds in "start"/"end"; else milliseconds in "offsets"; else hundredths of a second in "t0"/"t1".
Times segmentTimes(const QJsonObject& element)
{
    Times times;
    times.startMs = timeOf(element.value(QLatin1String("start")), 1000).value_or(-1);
    times.endMs = timeOf(element.value(QLatin1String("end")), 1000).value_or(-1);
    const QJsonValue offsets = element.value(QLatin1String("offsets"));
    if (times.startMs < 0 && offsets.isObject()) {
        const QJsonObject range = offsets.toObject();
        if (const auto from = timeOf(range.value(QLatin1String("from")), 1))
            times.startMs = *from;
        if (const auto to = timeOf(range.value(QLatin1String("to")), 1))
            times.endMs = *to;
    }
    if (times.startMs < 0)
        times.startMs = timeOf(element.value(QLatin1String("t0")), 10).value_or(times.startMs);
    if (times.endMs < 0)
        times.endMs = timeOf(element.value(QLatin1String("t1")), 10).value_or(times.endMs);
    return times;
}

double numberOrZero(const QJsonObject& element, QLatin1String key)
{
    const QJsonValue value = element.value(key);
    return value.isDouble() ? value.toDouble() : 0;
}

bool isArrayOfObjects(const QJsonValue& value)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    return std::all_of(array.begin(), array.end(), [](const QJsonValue& element) { return element.isObject(); });
}

// whisper-server cuts segments at a fixed width, even inside a word; the piece after such a cut does not
// start with a space.
bool continuesPreviousWord(const QString& rawText)
{
    return !rawText.isEmpty() && !rawText.front().isSpace();
}

void absorb(SpeechSegment& previous, const SpeechSegment& continuation)
{
    previous.text += continuation.text;
    // An answer whose times go back must not leave a piece that ends before it starts.
    previous.endMs = std::max(previous.endMs, continuation.endMs);
    previous.noSpeechProb = std::min(previous.noSpeechProb, continuation.noSpeechProb);
    previous.avgLogprob = std::max(previous.avgLogprob, continuation.avgLogprob);
}

} // namespace

namespace Segments
{

std::vector<SpeechSegment> parseSegments(const QJsonObject& answer)
{
    std::vector<SpeechSegment> segments;
    const QJsonValue list = answer.value(QLatin1String("segments"));
    if (!isArrayOfObjects(list))
        return segments;
    for (const QJsonValue& value : list.toArray()) {
        const QJsonObject element = value.toObject();
        const QJsonValue textValue = element.value(QLatin1String("text"));
        const QString rawText = textValue.isString() ? textValue.toString() : QString();
        const Times times = segmentTimes(element);
        const QString text = rawText.trimmed();
        if (times.startMs < 0 || times.endMs < times.startMs || text.isEmpty())
            continue;
        const SpeechSegment segment{text, times.startMs, times.endMs,
                                    numberOrZero(element, QLatin1String("no_speech_prob")),
                                    numberOrZero(element, QLatin1String("avg_logprob"))};
        if (continuesPreviousWord(rawText) && !segments.empty())
            absorb(segments.back(), segment);
        else
            segments.push_back(segment);
    }
    return segments;
}

std::optional<SpeechSegment> fromListElement(const QJsonObject& element,
                                             const std::function<QString(const QString&)>& prepare)
{
    const QJsonValue textValue = element.value(QLatin1String("text"));
    if (!textValue.isString())
        return std::nullopt;
    const QString text = prepare(textValue.toString());
    if (text.isEmpty())
        return std::nullopt;
    SpeechSegment segment;
    segment.text = text;
    segment.startMs = timeOf(element.value(QLatin1String("start")), 1).value_or(0);
    segment.endMs = timeOf(element.value(QLatin1String("end")), 1).value_or(0);
    return segment;
}

std::optional<int64_t> scaledTime(double value, double scale)
{
    const double scaled = value * scale;
    if (!std::isfinite(scaled) || scaled >= 0x1p63 || scaled < -0x1p63)
        return std::nullopt;
    return static_cast<int64_t>(std::trunc(scaled));
}

QByteArray toListJson(const std::vector<SpeechSegment>& segments)
{
    QJsonArray array;
    for (const SpeechSegment& segment : segments) {
        array.append(QJsonObject{{QStringLiteral("text"), segment.text},
                                 {QStringLiteral("start"), static_cast<qint64>(segment.startMs)},
                                 {QStringLiteral("end"), static_cast<qint64>(segment.endMs)}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

} // namespace Segments
