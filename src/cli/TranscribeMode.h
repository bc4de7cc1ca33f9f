#pragma once

#include <QStringList>

// "--transcribe ФАЙЛ": recognizes an audio file with the active model, as a dictation of that length, and prints
// the text; the progress goes to standard error. Ctrl+C stops it with status 130.
namespace TranscribeMode
{
int run(const QStringList& arguments);
}
