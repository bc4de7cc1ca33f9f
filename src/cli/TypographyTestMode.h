#pragma once

#include <QStringList>

// "--typography-test TEXT": the typography stage on one text, with the settings' switches; prints the result,
// then the rules that changed it and those switched off.
namespace TypographyTestMode
{
int run(const QStringList& arguments);
} // namespace TypographyTestMode
