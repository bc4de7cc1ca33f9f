#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <vector>

// A spoken trigger and the prepared text that replaces it.
struct MacroPair
{
    QString trigger;
    QString text;

    bool operator==(const MacroPair&) const = default;
};

// The user's macros in macros.json, read again on every call.
namespace MacroStore
{
QString filePath();
// The file written when there is none: a signature and a date macro.
QByteArray defaultContent();

// Writes the default file when no file exists.
void ensureFile();
// For the editor: every macro, sorted by trigger (locale-aware, case-insensitive). Empty when the file
// cannot be read.
std::vector<MacroPair> loadRaw();
// For the pipeline: normalized trigger → text. Empty, with a log line, when the file cannot be read.
QHash<QString, QString> loadNormalized();
// Writes the macros with trimmed triggers; blank triggers are dropped, a later duplicate wins.
void saveRaw(const std::vector<MacroPair>& macros);

// Fills "{дата}", "{дата_кратко}" and "{время}" with the current moment in the system time zone.
QString substitutePlaceholders(const QString& text);
// The same for a given moment, in that moment's time zone.
QString substitutePlaceholders(const QString& text, const QDateTime& instant);
} // namespace MacroStore
