#pragma once

#include <QStringList>

// "--format [markdown|plain] [text]": the dictation text pipeline on one string (standard input when no
// text is given), typography included, with the settings' switches.
namespace FormatMode
{
int run(const QStringList& arguments);
} // namespace FormatMode
