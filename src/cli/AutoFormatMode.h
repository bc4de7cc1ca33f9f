#pragma once

#include <QStringList>

// "--auto-format SEGMENTS.json": automatic markup from pauses on a segment list, then formatting.
namespace AutoFormatMode
{
int run(const QStringList& arguments);
} // namespace AutoFormatMode
