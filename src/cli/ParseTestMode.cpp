#include "cli/ParseTestMode.h"

#include "core/Console.h"
#include "transcript/Segments.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace ParseTestMode
{

int run(const QStringList& arguments)
{
    QFile file(arguments.at(2));
    QJsonParseError error{};
    const QJsonDocument document =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
    if (!document.isObject()) {
        Console::print(QStringLiteral("не удалось прочитать json"));
        return 1;
    }
    for (const SpeechSegment& segment : Segments::parseSegments(document.object()))
        Console::print(QStringLiteral("[%1–%2 мс] «%3»")
                           .arg(QString::number(segment.startMs), QString::number(segment.endMs), segment.text));
    return 0;
}

} // namespace ParseTestMode
