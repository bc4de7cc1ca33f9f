#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

// Starting the application when the user logs in: the user's XDG autostart entry
// $XDG_CONFIG_HOME/autostart/tolvan.desktop.
namespace Autostart
{
// The entry exists and is not switched off with "Hidden=true".
bool isEnabled();
// Writes the entry for the running executable, or removes it. The error's description says why not.
Result<Done> setEnabled(bool enabled);
// The entry's content for an executable.
QByteArray entry(const QString& executable);
// The executable as the single argument of an Exec line: quoted and escaped as desktop entries require.
QString execArgument(const QString& executable);
} // namespace Autostart
