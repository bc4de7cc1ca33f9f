// llama-server's chat answer and the advice read from it. The input is the phrase asked about, a
// backslash and one more byte, then the answer body.
#include "FuzzSupport.h"
#include "core/Utf8.h"
#include "quality/AdvisorText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const QString original = QString::fromStdString(provider.ConsumeRandomLengthString(200));
    const QByteArray body = QByteArray::fromStdString(provider.ConsumeRemainingBytesAsString());
    const QString context = QString::fromUtf8(body);
    // The advice is read from the answer's content, which may be anything.
    const AdvisorText::Advice advice = AdvisorText::parseAdvice(context, original);
    Fuzz::require(!advice.score || (*advice.score >= 1 && *advice.score <= 5), "a score is 1 to 5", context);
    Fuzz::require(original.isEmpty() || !advice.text.isEmpty(), "there is always a text to offer", context);
    AdvisorText::adviceFromAnswer(body, original);

    // The start of the body quoted in an error: whole characters, within the limit, from the beginning.
    const auto decoded = Utf8::decode(body);
    for (const qsizetype limit : {0, 1, 7, 200}) {
        const QString prefix = AdvisorText::bodyPrefix(body, limit);
        Fuzz::require(prefix.toUtf8().size() <= limit, "the quoted start keeps to the limit", context);
        Fuzz::require(!decoded || (body.size() <= limit ? prefix == *decoded : decoded->startsWith(prefix)),
                      "the quoted start is the body's start, a short body whole", context);
    }
    AdvisorText::animalTranslate(context, (size & 1) != 0);
    return 0;
}
