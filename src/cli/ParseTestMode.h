#pragma once

#include <QStringList>

// "--parse-test FILE": prints the segments of a saved whisper-server answer.
namespace ParseTestMode
{
int run(const QStringList& arguments);
}
