#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The parts of a text that typography leaves exactly as they are: Markdown code spans and blocks, URLs,
// e-mail addresses, file paths and sentences in Latin script. Each becomes one U+FFFC while the rest is
// typeset, and is put back afterwards.
namespace ProtectedSpans
{
inline constexpr char16_t placeholder = u'\uFFFC';

struct Masked
{
    QString text;
    // The protected parts in the order of their placeholders.
    QStringList pieces;
};

Masked mask(const QString& text);
// Nothing when the text no longer holds one placeholder for each piece.
std::optional<QString> restore(const QString& text, const QStringList& pieces);
} // namespace ProtectedSpans
