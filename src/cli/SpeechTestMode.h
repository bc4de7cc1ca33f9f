#pragma once

#include <QStringList>

// "--speech-test TEXT": prints the speech-quality findings, the score and the cleaned text.
namespace SpeechTestMode
{
int run(const QStringList& arguments);
}
