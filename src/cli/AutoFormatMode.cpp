#include "cli/AutoFormatMode.h"

#include "core/Console.h"
#include "text/AutoFormatter.h"
#include "text/Corrections.h"
#include "text/MacroStore.h"
#include "text/TextFormatter.h"
#include "text/TranscriptCleaner.h"
#include "transcript/Segments.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <optional>

namespace
{

std::optional<QJsonArray> readSegmentList(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    if (!std::all_of(array.begin(), array.end(), [](const QJsonValue& element) { return element.isObject(); }))
        return std::nullopt;
    return array;
}

} // namespace

namespace AutoFormatMode
{

int run(const QStringList& arguments)
{
    const QString path = arguments.at(2);
    const auto list = readSegmentList(path);
    if (!list) {
        Console::print(QStringLiteral("не удалось прочитать ") + QFileInfo(path).absoluteFilePath());
        return 1;
    }
    const std::vector<CorrectionPair> pairs = Corrections::load();
    const auto prepare = [&pairs](const QString& text) {
        return Corrections::apply(TranscriptCleaner::clean(text), pairs);
    };
    std::vector<SpeechSegment> segments;
    for (const QJsonValue& element : *list) {
        if (auto segment = Segments::fromListElement(element.toObject(), prepare))
            segments.push_back(std::move(*segment));
    }
    TextFormatter::Config config;
    config.macros = MacroStore::loadNormalized();
    const QStringList triggers = config.macros.keys();
    QString text;
    if (const auto annotated = AutoFormatter::annotate(segments, QSet<QString>(triggers.begin(), triggers.end()))) {
        Console::printError(QStringLiteral("[авторазметка] ") + *annotated + u'\n');
        text = *annotated;
    } else {
        Console::printError(QStringLiteral("[авторазметка не применена]\n"));
        QStringList texts;
        for (const SpeechSegment& segment : segments)
            texts.append(segment.text);
        text = texts.join(u' ');
    }
    Console::print(TextFormatter::process(text, config));
    return 0;
}

} // namespace AutoFormatMode
