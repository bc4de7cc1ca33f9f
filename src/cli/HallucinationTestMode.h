#pragma once

#include <QStringList>

// "--halluc-test TEXT…": the hallucination filter's verdict on each text, with ordinary and with silent
// recognizer figures.
namespace HallucinationTestMode
{
int run(const QStringList& arguments);
} // namespace HallucinationTestMode
