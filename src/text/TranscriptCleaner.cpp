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
    const auto isControl = [](char32_t point) {
        return (point < 0x20 && point != u'\n' && point != u'\t') || (point >= 0x7f && point <= 0x9f) ||
               QChar::category(point) == QChar::Other_Format;
    };
    const QString unified = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QString kept;
    kept.reserve(unified.size());
    for (qsizetype at = 0; at < unified.size(); ++at) {
        const QChar unit = unified.at(at);
        const bool pair = unit.isHighSurrogate() && at + 1 < unified.size() && unified.at(at + 1).isLowSurrogate();
        // A lone surrogate is no character at all.
        if (unit.isSurrogate() && !pair)
            continue;
        const char32_t point = pair ? QChar::surrogateToUcs4(unit, unified.at(at + 1)) : unit.unicode();
        const QChar::Category category = QChar::category(point);
        if (category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            kept += u'\n';
        else if (!isControl(point))
            kept += pair ? unified.mid(at, 2) : QString(unit);
        at += pair ? 1 : 0;
    }
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
