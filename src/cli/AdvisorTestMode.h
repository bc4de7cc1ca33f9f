#pragma once

#include <QStringList>

// "--advisor-test TEXT [INTENSITY] [STYLE]": asks the style advisor once and prints its score and text.
namespace AdvisorTestMode
{
int run(const QStringList& arguments);
// The intensity argument: a decimal integer with an optional sign, 5 when absent or not such a number.
qint64 intensityArgument(const QStringList& arguments);
} // namespace AdvisorTestMode
