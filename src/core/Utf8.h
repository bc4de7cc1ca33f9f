#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Strict UTF-8 decoding for what other programs print, answer or pipe in.
namespace Utf8
{
// The text, or nothing when the bytes are not entirely valid UTF-8 (a character cut at the end included).
std::optional<QString> decode(const QByteArray& bytes);
} // namespace Utf8
