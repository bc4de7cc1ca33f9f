#pragma once

#include <QStringList>

// "--gigaam-test ФАЙЛ.wav [--json]": recognizes one WAV file with the GigaAM engine.
namespace GigaAMTestMode
{
int run(const QStringList& arguments);
}
