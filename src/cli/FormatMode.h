#pragma once

#include <QStringList>

// "--format [markdown|plain] [text]": the dictation text pipeline on one string (standard input when no
// text is given).
namespace FormatMode
{
int run(const QStringList& arguments);
} // namespace FormatMode
