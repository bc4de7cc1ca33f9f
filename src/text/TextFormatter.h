#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// Turns spoken formatting commands ("Новый абзац.", "Список.", "Заголовок: Итоги.") and whole-sentence
// macro triggers into Markdown or plain text.
namespace TextFormatter
{
enum class OutputFormat
{
    markdown,
    plain,
};

// "plain" selects plain; every other name selects markdown.
OutputFormat outputFormatNamed(const QString& name);

struct Config
{
    OutputFormat format = OutputFormat::markdown;
    // Normalized trigger → macro text, as the macro store gives it.
    QHash<QString, QString> macros;
};

QString process(const QString& text, const Config& config);

// Upper-cases the first character when it is a lower-case letter.
QString capitalizeFirstLetter(const QString& text);

struct Sentence
{
    QString text;
    // The line feeds between it and the sentence before: a line break, or a blank line for two.
    int lineFeedsBefore = 0;
};

// A sentence ends after ".", "!", "?", "…" or ":" (with any run of ".!?…" after it) only where whitespace
// and then an upper-case letter follow.
std::vector<Sentence> splitSentences(const QString& text);
// Trims, upper-cases the first character, and removes final full stops.
QString headingText(const QString& text);
} // namespace TextFormatter
