// The user's corrections.json: loading and applying to a dictated text. The input is the text, a backslash
// and one more byte, then the file.
#include "FuzzSupport.h"
#include "text/CorrectionPattern.h"
#include "text/Corrections.h"
#include "text/Graphemes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const QString text = Fuzz::consumeText(provider, 400);
    const QByteArray file = QByteArray::fromStdString(provider.ConsumeRemainingBytesAsString());
    Fuzz::writeFile(Corrections::filePath(), file);

    const std::vector<CorrectionPair> pairs = Corrections::load();
    for (size_t index = 1; index < pairs.size(); ++index)
        Fuzz::require(Graphemes::count(pairs[index - 1].wrong) >= Graphemes::count(pairs[index].wrong),
                      "longer forms come first", QString::fromUtf8(file));
    // The quick test may only rule out texts the pattern cannot match.
    const CorrectionPattern::Subject subject(text);
    for (const CorrectionPair& pair : pairs) {
        if (!pair.wrong.isEmpty() && pair.pattern && !pair.pattern->mayMatch(subject))
            Fuzz::require(!pair.pattern->regex().contains(text), "a ruled-out form does not occur",
                          pair.wrong + QStringLiteral(" / ") + text);
    }
    Corrections::apply(text, pairs);
    return 0;
}
