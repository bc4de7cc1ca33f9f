#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Strict UTF-8 decoding for what the recognizers print and answer.
namespace Utf8
{
// The text, or nothing when the bytes are not entirely valid UTF-8 (a character cut at the end included).
std::optional<QString> decode(const QByteArray& bytes);
} // namespace Utf8
