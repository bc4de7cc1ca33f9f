#include "text/TranscriptCleaner.h"

#include "core/Regex.h"

namespace TranscriptCleaner
{

QString clean(const QString& text)
{
    static const Regex lineBreaksInside(QStringLiteral("([^\\s])\\n+([^\\s])"));
    static const Regex bracketed(QStringLiteral("\\[[^\\]]{0,60}\\]"));
    static const Regex starred(QStringLiteral("\\*[^\\*]{0,60}\\*"));
    static const Regex loneRemark(QStringLiteral("^\\([^)]{0,80}\\)$"));
    static const Regex whiteSpace(QStringLiteral("\\s+"));

    QString cleaned = text.trimmed();
    // "а\nб\nв": the matches overlap, so one pass leaves every second break.
    while (lineBreaksInside.contains(cleaned))
        cleaned = lineBreaksInside.replaceAll(cleaned, QStringLiteral("$1$2"));
    cleaned = bracketed.replaceAll(cleaned, QString());
    cleaned = starred.replaceAll(cleaned, QString());
    // Tested without the space that a removed annotation leaves: "[шум] (тишина)" is a lone remark too.
    if (loneRemark.contains(cleaned.trimmed()))
        cleaned.clear();
    cleaned = whiteSpace.replaceAll(cleaned, QStringLiteral(" "));
    return cleaned.trimmed();
}

} // namespace TranscriptCleaner
