#include "text/TranscriptCleaner.h"

#include "core/Regex.h"

namespace
{

// Each run of white space becomes one space, except a run of line feeds alone between two characters: inside
// a word a recognizer broke across lines («линук\nса») it goes, anywhere else it was meant and stays, two or
// more as one blank line.
QString collapsedSpace(const QString& text)
{
    static const Regex space(QStringLiteral("\\s+"));
    return space.replaceAll(text, [&text](const Regex::Match& match) {
        if (match.start() == 0 || match.end() == text.size())
            return QString();
        const QString run = match.captured();
        if (run.count(u'\n') != run.size())
            return QStringLiteral(" ");
        const QChar before = text.at(match.start() - 1);
        const QChar after = text.at(match.end());
        if (before.isLetter() && after.isLetter() && after.isLower())
            return QString();
        return run.size() > 1 ? QStringLiteral("\n\n") : QStringLiteral("\n");
    });
}

} // namespace

namespace TranscriptCleaner
{

QString withoutControls(const QString& text)
{
    const auto isControl = [](QChar character) {
        const char16_t unit = character.unicode();
        return (unit < 0x20 && unit != u'\n' && unit != u'\t') || (unit >= 0x7f && unit <= 0x9f) ||
               (unit >= 0x202a && unit <= 0x202e) || (unit >= 0x2066 && unit <= 0x2069);
    };
    QString kept = text;
    kept.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    kept.removeIf(isControl);
    return kept;
}

QString clean(const QString& text)
{
    static const Regex bracketed(QStringLiteral("\\[[^\\]]{0,60}\\]"));
    static const Regex starred(QStringLiteral("\\*[^\\*]{0,60}\\*"));
    static const Regex loneRemark(QStringLiteral("^\\([^)]{0,80}\\)$"));

    QString cleaned = withoutControls(text).trimmed();
    cleaned = bracketed.replaceAll(cleaned, QString());
    cleaned = starred.replaceAll(cleaned, QString());
    // Tested without the space that a removed annotation leaves: "[шум] (тишина)" is a lone remark too.
    if (loneRemark.contains(cleaned.trimmed()))
        cleaned.clear();
    return collapsedSpace(cleaned.trimmed());
}

} // namespace TranscriptCleaner
