// llama-server's chat answer and the advice read from it. The input is the phrase asked about, a
// backslash and one more byte, then the answer body.
#include "FuzzSupport.h"
#include "engines/Utf8.h"
#include "quality/AdvisorText.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace
{

void checkAdvice(const AdvisorText::Advice& advice, const QString& original, const QString& context)
{
    if (advice.score)
        Fuzz::require(*advice.score >= 1 && *advice.score <= 5, "a score is 1 to 5", context);
    if (!original.isEmpty())
        Fuzz::require(!advice.text.isEmpty(), "there is always a text to offer", context);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const QString original = QString::fromStdString(provider.ConsumeRandomLengthString(200));
    const std::string rest = provider.ConsumeRemainingBytesAsString();
    const QByteArray body(rest.data(), static_cast<qsizetype>(rest.size()));
    const QString context = QString::fromUtf8(body);

    const Result<AdvisorText::Advice> answer = AdvisorText::adviceFromAnswer(body, original);
    if (answer)
        checkAdvice(answer.value(), original, context);
    checkAdvice(AdvisorText::parseAdvice(context, original), original, context);

    // The start of the body quoted in an error: whole characters, within the limit, from the beginning.
    for (const qsizetype limit : {qsizetype(0), qsizetype(1), qsizetype(7), qsizetype(200)}) {
        const QString prefix = AdvisorText::bodyPrefix(body, limit);
        Fuzz::require(prefix.toUtf8().size() <= limit, "the quoted start keeps to the limit", context);
        if (const auto decoded = Utf8::decode(body)) {
            Fuzz::require(decoded->startsWith(prefix), "the quoted start is the body's start", context);
            if (body.size() <= limit)
                Fuzz::require(prefix == *decoded, "a short body is quoted whole", context);
        }
    }
    AdvisorText::animalTranslate(context, (size & 1) != 0);
    return 0;
}
