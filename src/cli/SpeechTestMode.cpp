#include "cli/SpeechTestMode.h"

#include "core/Console.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"

#include <algorithm>

namespace
{

// Seven characters wide, so that the lines align.
QString label(SpeechIssue::Kind kind)
{
    switch (kind) {
    case SpeechIssue::Kind::filler:
        return QStringLiteral("ПАРАЗИТ");
    case SpeechIssue::Kind::repetition:
        return QStringLiteral("ПОВТОР ");
    case SpeechIssue::Kind::phrasing:
        return QStringLiteral("ФОРМУЛ.");
    case SpeechIssue::Kind::style:
        break;
    }
    return QStringLiteral("СТИЛЬ  ");
}

QString scoreLine(int score)
{
    return QStringLiteral("ОЦЕНКА: ") + QString(std::clamp(score, 0, 5), u'★') + QString(std::max(5 - score, 0), u'☆') +
           u' ' + QString::number(score) + QStringLiteral(" из 5 — ") + SpeechQuality::scoreWord(score);
}

} // namespace

namespace SpeechTestMode
{

int run(const QStringList& arguments)
{
    const QString& text = arguments.at(2);
    const QList<SpeechIssue> issues = SpeechQuality::analyze(text);
    for (const SpeechIssue& issue : issues)
        Console::print(u'[' + label(issue.kind) + QStringLiteral("] «") + issue.text + QStringLiteral("» — ") +
                       issue.hint);
    Console::print(scoreLine(SpeechQuality::score(issues)));
    const SpeechCleaning::CleanedText cleaned = SpeechCleaning::autoClean(text);
    Console::print(QStringLiteral("ОЧИЩЕНО (−") + QString::number(cleaned.removedCount) + QStringLiteral("): ") +
                   cleaned.text);
    return 0;
}

} // namespace SpeechTestMode
